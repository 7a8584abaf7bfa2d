// The main window's components as the form loads them: names, places, sizes, first visibility,
// image lists and, for the Chinese user interface, the localised pictures.
#pragma once

#include <memory>

#include "app/controls/eventqueue.h"
#include "app/scene/picturesource.h"
#include "app/scene/scene.h"

constexpr unsigned ChineseUiLanguage = 2052;

// Picture names: a plain picture by its component name; a button's looks as
// "<button>_Normal", "_Focus", "_Down", "_Active"; image-list frames as "<list>_<index>";
// the tray icon as "ZemTrayIcon" (kept as the one frame of image list "ZemTrayImageList").
// A missing picture is drawn black at the component's size and traced once, so the window still
// runs without its artwork. With uiLanguage 2052 the localised pictures replace the English ones
// (an English picture stands in for a missing localised one).
std::unique_ptr<TScene> BuildMainScene(IPictureSource& pictures, IMainThread& mainThread,
                                       unsigned uiLanguage = 0);
