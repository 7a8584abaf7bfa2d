// The window as data: a background picture and named components over it (pictures, image
// buttons, and the panels that shape and carry buttons), in z-order of insertion. The controller
// changes it by name; a shell composes it into one picture and feeds it the mouse.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/controls/eventqueue.h"
#include "app/controls/imageen.h"
#include "app/gfx/bitmap.h"

// The transparent colour of the window's artwork.
constexpr TColour SceneKeyColour = Rgb(0, 0, 255);

enum class TComponentKind { Picture, ImageEn, Panel };

struct TSceneComponent {
  std::string Name;
  TComponentKind Kind = TComponentKind::Picture;
  const TSceneComponent* Parent = nullptr;  // the panel it sits on; hiding the panel hides it
  int X = 0;                                // top-left, in background-picture pixels
  int Y = 0;
  bool Visible = true;
  // Pixels of this colour are transparent: neither drawn nor hit. For a panel it cuts the
  // panel's shape out of Shape.
  std::optional<TColour> Key;
  TBitmap Picture;     // shown picture of a plain picture
  TBitmap Shape;       // a panel's shape (not drawn); empty: its whole rectangle
  int PanelWidth = 0;  // a panel's size
  int PanelHeight = 0;
  std::string FrameList;  // image list the current frame came from, if any
  int Frame = -1;
  std::unique_ptr<TImageEn> Control;

  const TBitmap& Shown() const { return Control ? Control->Picture() : Picture; }
  int Width() const { return Kind == TComponentKind::Panel ? PanelWidth : Shown().Width(); }
  int Height() const { return Kind == TComponentKind::Panel ? PanelHeight : Shown().Height(); }
};

struct TComponentOptions {
  std::string Parent = {};  // name of a panel added before
  bool Visible = true;
  std::optional<TColour> Key = SceneKeyColour;
};

class TScene {
 public:
  // The buttons' repeat threads send through mainThread, which must outlive the scene.
  explicit TScene(IMainThread& mainThread);
  TScene(const TScene&) = delete;
  TScene& operator=(const TScene&) = delete;

  // The background is drawn first; its key-coloured pixels lie outside the window's shape.
  void SetBackground(TBitmap picture, TColour key = SceneKeyColour);
  TBitmap& Background() { return Background_; }  // read-outs are painted straight onto it
  const TBitmap& Background() const { return Background_; }
  TColour BackgroundKey() const { return BackgroundKey_; }

  // Adding a name twice or naming an unknown parent panel is a programming error.
  void AddPicture(const std::string& name, int x, int y, const TBitmap& picture,
                  const TComponentOptions& options = {});
  TImageEn& AddImageEn(const std::string& name, int x, int y,
                       const TComponentOptions& options = {});
  void AddPanel(const std::string& name, int x, int y, int width, int height, const TBitmap& shape,
                const TComponentOptions& options = {});
  void AddImageList(const std::string& name, std::vector<TBitmap> frames);
  // Empty for an unknown list.
  const std::vector<TBitmap>& ImageList(const std::string& name) const;
  int FrameCount(const std::string& list) const { return static_cast<int>(ImageList(list).size()); }

  // Unknown component names are programming errors: they assert in a debug build and are
  // ignored (or answered with an empty component) otherwise.
  const TSceneComponent* Find(const std::string& name) const;  // null when unknown, no assert
  const TSceneComponent& Component(const std::string& name) const;
  TImageEn& ImageEn(const std::string& name);
  std::vector<const TSceneComponent*> Components() const;  // bottom first

  void Move(const std::string& name, int x, int y);
  void Show(const std::string& name) { SetVisible(name, true); }
  void Hide(const std::string& name) { SetVisible(name, false); }
  void SetVisible(const std::string& name, bool visible);
  bool Visible(const std::string& name) const;  // its own flag
  bool Showing(const std::string& name) const;  // it and every panel under it are visible
  // The shown picture of a picture or button, the shape of a panel.
  void SetPicture(const std::string& name, const TBitmap& picture);
  // Shows frame index of the image list; false (nothing changes) when either is out of range.
  bool ShowFrame(const std::string& name, const std::string& list, int index);
  // A frame of the list the component showed last.
  bool SetFrame(const std::string& name, int index);

  // The window's picture: the background (key pixels kept, so the shape can be cut from it)
  // with every showing component over it.
  void Compose(TBitmap& out) const;
  // The topmost showing component under x, y; null over the bare background or outside. Pictures
  // and free buttons are hit where they are drawn; a button on a panel within the panel's shape.
  const TSceneComponent* ComponentAt(int x, int y) const;
  // Whether x, y lies inside the window's shape.
  bool InWindow(int x, int y) const;

  // Mouse input from the shell, in background-picture pixels. A button under the pointer gets
  // enter and leave; a left press captures the button so its release goes to it wherever the
  // pointer is; a press on a plain picture or the bare background goes to
  // OnBackgroundMouseDown (dragging the window, the about box).
  void MouseMove(int x, int y);
  void MouseDown(TMouseButton button, int x, int y);
  void MouseUp(TMouseButton button, int x, int y);
  void MouseLeaveWindow();
  // Re-evaluates which button is under the pointer, e.g. after buttons were shown or hidden
  // outside mouse input; the shell calls it when idle.
  void RefreshHover();
  // The button that was last told the pointer entered it (and not yet that it left).
  const TSceneComponent* Hovered() const { return Hovered_; }
  std::function<void(TMouseButton)> OnBackgroundMouseDown;

 private:
  TSceneComponent* Lookup(const std::string& name) const;
  TSceneComponent& Add(const std::string& name, TComponentKind kind, int x, int y,
                       const TComponentOptions& options);
  bool IsShowing(const TSceneComponent& c) const;
  bool InsidePanel(const TSceneComponent& panel, int x, int y) const;
  bool InsideParents(const TSceneComponent& c, int x, int y) const;
  // Whether the showing component c draws the scene pixel x, y.
  bool Draws(const TSceneComponent& c, int x, int y) const;
  // Whether the showing component c takes the pointer at x, y.
  bool Hits(const TSceneComponent& c, int x, int y) const;
  TSceneComponent* TopAt(int x, int y) const;
  void PointerAt(int x, int y);

  IMainThread& Main_;
  TBitmap Background_;
  TColour BackgroundKey_ = SceneKeyColour;
  std::vector<std::unique_ptr<TSceneComponent>> Components_;
  std::map<std::string, TSceneComponent*, std::less<>> ByName_;
  std::map<std::string, std::vector<TBitmap>, std::less<>> ImageLists_;
  TSceneComponent Dummy_;
  std::unique_ptr<TImageEn> DummyControl_;

  bool HasPointer_ = false;
  int PointerX_ = 0;
  int PointerY_ = 0;
  TSceneComponent* Hovered_ = nullptr;
  TSceneComponent* Capture_ = nullptr;
};
