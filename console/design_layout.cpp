#include "design_layout.h"

#include <QWidget>
#include <QWidgetItem>
#include <algorithm>
#include <cmath>

namespace vexa::console {

namespace {
constexpr double kTwipsPerInch = 1440.0;
}

int TwipsToPixels(int twips, double dpi) {
  return static_cast<int>(std::lround(twips * dpi / kTwipsPerInch));
}

DesignLayout::DesignLayout(QWidget* parent, QWidget* origin) : QLayout(parent), origin_(origin) {
  setContentsMargins(0, 0, 0, 0);
  setSpacing(0);
}

DesignLayout::~DesignLayout() {
  for (const Item& i : items_) delete i.item;
}

void DesignLayout::Place(QWidget* widget, Twips position, Fit fit) {
  addChildWidget(widget);
  items_.append({new QWidgetItem(widget), position, fit});
  invalidate();
}

void DesignLayout::SetCanvas(int width_twips, int height_twips) {
  canvas_width_ = width_twips;
  canvas_height_ = height_twips;
  invalidate();
}

void DesignLayout::SetScale(double scale) {
  scale_ = scale;
  invalidate();
}

double DesignLayout::ScaleNeeded() const {
  const double dpi = Dpi();
  double needed = 1.0;
  for (const Item& i : items_) {
    QWidget* w = i.item->widget();
    if (w == nullptr || w->isHidden() || i.fit == Fit::kNone) continue;
    const QSize want = i.fit == Fit::kWholeText ? w->sizeHint() : w->minimumSizeHint();
    const double height = TwipsToPixels(i.position.height, dpi);
    if (height > 0) needed = std::max(needed, want.height() / height);
    const double width = TwipsToPixels(i.position.width, dpi);
    if (i.fit == Fit::kWholeText && width > 0) needed = std::max(needed, want.width() / width);
  }
  return needed;
}

void DesignLayout::addItem(QLayoutItem* item) {
  items_.append({item, Twips{}, Fit::kNone});
}

QLayoutItem* DesignLayout::itemAt(int index) const {
  return index >= 0 && index < items_.size() ? items_[index].item : nullptr;
}

QLayoutItem* DesignLayout::takeAt(int index) {
  if (index < 0 || index >= items_.size()) return nullptr;
  return items_.takeAt(index).item;
}

double DesignLayout::Dpi() const {
  const QWidget* w = parentWidget();
  return w != nullptr ? w->logicalDpiX() : 96.0;
}

QRect DesignLayout::ToPixels(const Twips& t) const {
  const double dpi = Dpi() * scale_;
  return QRect(TwipsToPixels(t.left, dpi), TwipsToPixels(t.top, dpi), TwipsToPixels(t.width, dpi),
               TwipsToPixels(t.height, dpi));
}

QSize DesignLayout::sizeHint() const {
  if (canvas_width_ > 0 && canvas_height_ > 0)
    return ToPixels(Twips{0, 0, canvas_width_, canvas_height_}).size();
  QRect bounds;
  for (const Item& i : items_) bounds |= ToPixels(i.position);
  return QSize(bounds.right() + 1, bounds.bottom() + 1);
}

void DesignLayout::setGeometry(const QRect& rect) {
  QLayout::setGeometry(rect);
  QPoint shift(0, 0);
  QWidget* own = parentWidget();
  if (origin_ != nullptr && own != nullptr && origin_ != own && origin_->isAncestorOf(own))
    shift = own->mapTo(origin_.data(), QPoint(0, 0));
  for (const Item& i : items_) i.item->setGeometry(ToPixels(i.position).translated(-shift));
}

}  // namespace vexa::console
