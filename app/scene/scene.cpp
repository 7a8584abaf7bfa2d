#include "app/scene/scene.h"

#include <algorithm>
#include <cassert>

TScene::TScene(IMainThread& mainThread) : Main_(mainThread) {}

void TScene::SetBackground(TBitmap picture, TColour key) {
  Background_ = std::move(picture);
  BackgroundKey_ = key;
}

TSceneComponent& TScene::Add(const std::string& name, TComponentKind kind, int x, int y,
                             const TComponentOptions& options) {
  assert(!ByName_.contains(name) && "component added twice");
  const TSceneComponent* parent = nullptr;
  if (!options.Parent.empty()) {
    parent = Lookup(options.Parent);
    assert(parent && parent->Kind == TComponentKind::Panel && "parent must be a panel");
    if (parent && parent->Kind != TComponentKind::Panel) parent = nullptr;
  }
  auto component = std::make_unique<TSceneComponent>();
  component->Name = name;
  component->Kind = kind;
  component->Parent = parent;
  component->X = x;
  component->Y = y;
  component->Visible = options.Visible;
  component->Key = options.Key;
  TSceneComponent& added = *component;
  Components_.push_back(std::move(component));
  // A repeated name keeps answering with the first component.
  ByName_.emplace(name, &added);
  return added;
}

void TScene::AddPicture(const std::string& name, int x, int y, const TBitmap& picture,
                        const TComponentOptions& options) {
  Add(name, TComponentKind::Picture, x, y, options).Picture = picture;
}

TImageEn& TScene::AddImageEn(const std::string& name, int x, int y,
                             const TComponentOptions& options) {
  TSceneComponent& c = Add(name, TComponentKind::ImageEn, x, y, options);
  c.Control = std::make_unique<TImageEn>(Main_);
  return *c.Control;
}

void TScene::AddPanel(const std::string& name, int x, int y, int width, int height,
                      const TBitmap& shape, const TComponentOptions& options) {
  TSceneComponent& c = Add(name, TComponentKind::Panel, x, y, options);
  c.PanelWidth = std::max(width, 0);
  c.PanelHeight = std::max(height, 0);
  c.Shape = shape;
}

void TScene::AddImageList(const std::string& name, std::vector<TBitmap> frames) {
  ImageLists_[name] = std::move(frames);
}

const std::vector<TBitmap>& TScene::ImageList(const std::string& name) const {
  static const std::vector<TBitmap> none;
  const auto it = ImageLists_.find(name);
  return it == ImageLists_.end() ? none : it->second;
}

TSceneComponent* TScene::Lookup(const std::string& name) const {
  const auto it = ByName_.find(name);
  return it == ByName_.end() ? nullptr : it->second;
}

const TSceneComponent* TScene::Find(const std::string& name) const {
  return Lookup(name);
}

const TSceneComponent& TScene::Component(const std::string& name) const {
  const TSceneComponent* c = Lookup(name);
  assert(c && "unknown scene component");
  return c ? *c : Dummy_;
}

TImageEn& TScene::ImageEn(const std::string& name) {
  TSceneComponent* c = Lookup(name);
  assert(c && c->Control && "unknown image button");
  if (c && c->Control) return *c->Control;
  // Release builds hand out a detached button so a wrong name changes nothing on screen.
  if (!DummyControl_) DummyControl_ = std::make_unique<TImageEn>(Main_);
  return *DummyControl_;
}

std::vector<const TSceneComponent*> TScene::Components() const {
  std::vector<const TSceneComponent*> all;
  all.reserve(Components_.size());
  for (const auto& c : Components_) all.push_back(c.get());
  return all;
}

void TScene::Move(const std::string& name, int x, int y) {
  TSceneComponent* c = Lookup(name);
  assert(c && "unknown scene component");
  if (!c) return;
  c->X = x;
  c->Y = y;
}

void TScene::SetVisible(const std::string& name, bool visible) {
  TSceneComponent* c = Lookup(name);
  assert(c && "unknown scene component");
  if (c) c->Visible = visible;
}

bool TScene::Visible(const std::string& name) const {
  return Component(name).Visible;
}

bool TScene::Showing(const std::string& name) const {
  const TSceneComponent* c = Lookup(name);
  assert(c && "unknown scene component");
  return c && IsShowing(*c);
}

void TScene::SetPicture(const std::string& name, const TBitmap& picture) {
  TSceneComponent* c = Lookup(name);
  assert(c && "unknown scene component");
  if (!c) return;
  switch (c->Kind) {
    case TComponentKind::Picture:
      c->Picture = picture;
      break;
    case TComponentKind::ImageEn:
      c->Control->SetPicture(picture);
      break;
    case TComponentKind::Panel:
      c->Shape = picture;
      break;
  }
}

bool TScene::ShowFrame(const std::string& name, const std::string& list, int index) {
  TSceneComponent* c = Lookup(name);
  assert(c && "unknown scene component");
  const std::vector<TBitmap>& frames = ImageList(list);
  if (!c || index < 0 || index >= static_cast<int>(frames.size())) return false;
  c->FrameList = list;
  c->Frame = index;
  SetPicture(name, frames[static_cast<size_t>(index)]);
  return true;
}

bool TScene::SetFrame(const std::string& name, int index) {
  const TSceneComponent* c = Lookup(name);
  assert(c && "unknown scene component");
  return c && ShowFrame(name, c->FrameList, index);
}

bool TScene::IsShowing(const TSceneComponent& c) const {
  for (const TSceneComponent* p = &c; p; p = p->Parent) {
    if (!p->Visible) return false;
  }
  return true;
}

bool TScene::InsidePanel(const TSceneComponent& panel, int x, int y) const {
  const int lx = x - panel.X;
  const int ly = y - panel.Y;
  if (lx < 0 || ly < 0 || lx >= panel.PanelWidth || ly >= panel.PanelHeight) return false;
  if (panel.Shape.Empty()) return true;
  // The shape covers only its own picture: beyond it the panel is cut away as well.
  if (!panel.Shape.Contains(lx, ly)) return false;
  return !panel.Key || panel.Shape.Pixel(lx, ly) != *panel.Key;
}

bool TScene::InsideParents(const TSceneComponent& c, int x, int y) const {
  for (const TSceneComponent* p = c.Parent; p; p = p->Parent) {
    if (!InsidePanel(*p, x, y)) return false;
  }
  return true;
}

bool TScene::Draws(const TSceneComponent& c, int x, int y) const {
  if (c.Kind == TComponentKind::Panel) return false;
  const TBitmap& picture = c.Shown();
  const int lx = x - c.X;
  const int ly = y - c.Y;
  if (!picture.Contains(lx, ly)) return false;
  if (c.Key && picture.Pixel(lx, ly) == *c.Key) return false;
  return InsideParents(c, x, y);
}

void TScene::Compose(TBitmap& out) const {
  out = Background_;
  for (const auto& owned : Components_) {
    const TSceneComponent& c = *owned;
    if (c.Kind == TComponentKind::Panel || !IsShowing(c)) continue;
    const TBitmap& picture = c.Shown();
    const int left = std::max(c.X, 0);
    const int top = std::max(c.Y, 0);
    const int right = std::min(c.X + picture.Width(), out.Width());
    const int bottom = std::min(c.Y + picture.Height(), out.Height());
    for (int y = top; y < bottom; ++y) {
      for (int x = left; x < right; ++x) {
        if (Draws(c, x, y)) out.SetPixel(x, y, picture.Pixel(x - c.X, y - c.Y));
      }
    }
  }
}

bool TScene::Hits(const TSceneComponent& c, int x, int y) const {
  switch (c.Kind) {
    case TComponentKind::Panel:
      // A panel's bare shape takes the pointer too, so nothing beneath it reacts there.
      return InsidePanel(c, x, y) && InsideParents(c, x, y);
    case TComponentKind::ImageEn:
      // A button on a panel takes clicks wherever the panel's shape lets it, whichever look it
      // shows; a button on its own only where its picture is opaque.
      if (c.Parent) return c.Shown().Contains(x - c.X, y - c.Y) && InsideParents(c, x, y);
      return Draws(c, x, y);
    case TComponentKind::Picture:
      break;
  }
  return Draws(c, x, y);
}

TSceneComponent* TScene::TopAt(int x, int y) const {
  if (!InWindow(x, y)) return nullptr;
  for (auto it = Components_.rbegin(); it != Components_.rend(); ++it) {
    TSceneComponent& c = **it;
    if (IsShowing(c) && Hits(c, x, y)) return &c;
  }
  return nullptr;
}

const TSceneComponent* TScene::ComponentAt(int x, int y) const {
  return TopAt(x, y);
}

bool TScene::InWindow(int x, int y) const {
  return Background_.Contains(x, y) && Background_.Pixel(x, y) != BackgroundKey_;
}

void TScene::PointerAt(int x, int y) {
  HasPointer_ = true;
  PointerX_ = x;
  PointerY_ = y;
}

void TScene::RefreshHover() {
  TSceneComponent* under = HasPointer_ ? TopAt(PointerX_, PointerY_) : nullptr;
  // While a button holds the capture only it hears about the pointer leaving or returning.
  if (under && (!under->Control || (Capture_ && Capture_ != under))) under = nullptr;
  if (under == Hovered_) return;
  TSceneComponent* old = Hovered_;
  Hovered_ = under;
  if (old) old->Control->MouseLeave();
  if (under) under->Control->MouseEnter();
}

void TScene::MouseMove(int x, int y) {
  PointerAt(x, y);
  RefreshHover();
}

void TScene::MouseLeaveWindow() {
  HasPointer_ = false;
  RefreshHover();
}

void TScene::MouseDown(TMouseButton button, int x, int y) {
  PointerAt(x, y);
  RefreshHover();
  // A captured button hears every button of the mouse until the left one is released.
  TSceneComponent* target = Capture_ ? Capture_ : TopAt(x, y);
  if (target && target->Control) {
    if (button == TMouseButton::Left) Capture_ = target;
    target->Control->MouseDown(button, x - target->X, y - target->Y);
  } else if (!target ? InWindow(x, y) : target->Kind == TComponentKind::Picture) {
    if (OnBackgroundMouseDown) OnBackgroundMouseDown(button);
  }
  RefreshHover();
}

void TScene::MouseUp(TMouseButton button, int x, int y) {
  PointerAt(x, y);
  TSceneComponent* target = Capture_ ? Capture_ : TopAt(x, y);
  if (button == TMouseButton::Left) Capture_ = nullptr;
  if (target && target->Control) target->Control->MouseUp(button, x - target->X, y - target->Y);
  RefreshHover();
}
