// Places widgets at fixed design positions given in twips (1440 to the inch),
// the unit the window was drawn in: at 96 dpi a twip is 1/15 pixel, and the
// positions scale with the screen's logical dpi.
#pragma once

#include <QLayout>
#include <QList>
#include <QPointer>
#include <QRect>

namespace vexa::console {

struct Twips {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

// Pixels for a length in twips at the given logical dpi.
int TwipsToPixels(int twips, double dpi);

// What of a control's own wishes the design has to make room for.
enum class Fit {
  kNone,      // the design size is right whatever the content
  kHeight,    // the control needs its minimum height (a text box)
  kWholeText  // the control's caption must show in full (labels, buttons)
};

class DesignLayout final : public QLayout {
  Q_OBJECT

 public:
  // `origin` is the widget the design positions are relative to when it is not
  // the layout's own widget: controls drawn on a tab control count from the
  // tab control's corner, tab strip included, though they live on a page
  // below the strip.
  explicit DesignLayout(QWidget* parent, QWidget* origin = nullptr);
  ~DesignLayout() override;

  void Place(QWidget* widget, Twips position, Fit fit = Fit::kNone);
  // Size of the area the design covers (the client area of a window).
  void SetCanvas(int width_twips, int height_twips);
  // Enlarges the whole design by `scale` besides the screen's dpi.
  void SetScale(double scale);
  // The smallest scale at which every control gets the room its Fit asks for
  // (at least 1): a system font wider than the one the window was drawn for
  // enlarges the window evenly instead of clipping captions.
  double ScaleNeeded() const;

  void addItem(QLayoutItem* item) override;
  QLayoutItem* itemAt(int index) const override;
  QLayoutItem* takeAt(int index) override;
  int count() const override { return static_cast<int>(items_.size()); }
  QSize sizeHint() const override;
  QSize minimumSize() const override { return sizeHint(); }
  void setGeometry(const QRect& rect) override;

 private:
  struct Item {
    QLayoutItem* item;
    Twips position;
    Fit fit;
  };
  double Dpi() const;
  QRect ToPixels(const Twips& t) const;

  QList<Item> items_;
  QPointer<QWidget> origin_;
  int canvas_width_ = 0;
  int canvas_height_ = 0;
  double scale_ = 1.0;
};

}  // namespace vexa::console
