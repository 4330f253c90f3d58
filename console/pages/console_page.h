// A tab of the console window. A page builds its controls at their design
// positions (in twips, counted from the corner of the tab control), names the
// fields of the settings record they show, and takes its part at the window's
// moments: the record shown (Load), the record about to be saved (Save), its
// tab selected. The window makes its pages in the order of their tabs and
// asks each in turn, so a new tab is a new page and one line there.
#pragma once

#include <QList>
#include <QString>
#include <QWidget>

#include "settings_record.h"

class QLabel;
class QLineEdit;
class QTabWidget;

namespace vexa::console {

class DesignLayout;

class ConsolePage : public QWidget {
  Q_OBJECT

 public:
  // `tabs`: the tab control the page goes on.
  explicit ConsolePage(QTabWidget* tabs);

  // The caption of its tab.
  virtual QString Title() const = 0;
  // The fields of Settings_General it shows.
  virtual QList<FieldBinding> Fields() const { return {}; }
  // Its controls that take the focus, in the order the Tab key walks them.
  virtual QList<QWidget*> TabOrder() const { return {}; }
  // The record is shown in the controls.
  virtual void Load() {}
  // The record is about to be saved: a value the page holds back goes in first.
  virtual void Save() {}
  // Its tab was selected (after the save that comes with it).
  virtual void Selected() {}
  // An operation of the page is under way: the window does not close meanwhile.
  virtual bool Busy() const { return false; }
  // The smallest scale of the design at which each control gets the room it
  // needs (at least 1).
  virtual double ScaleNeeded();

 protected:
  QTabWidget* Tabs() const { return tabs_; }
  // The page's own design layout.
  DesignLayout* Design() const { return design_; }
  // These boxes select their whole text when they get the focus, so that
  // typing replaces the value.
  void SelectTextOnFocus(const QList<QLineEdit*>& boxes);
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QTabWidget* tabs_;
  DesignLayout* design_;
};

// Gives a control its object name; the names end with the control's kind
// ("communityEdit", "installButton").
template <typename W>
W* Named(W* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

QLabel* NamedLabel(const char* name, const QString& caption);

}  // namespace vexa::console
