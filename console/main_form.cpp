#include "main_form.h"

#include <QCloseEvent>
#include <QTabWidget>
#include <algorithm>

#include "design_layout.h"
#include "message_box.h"
#include "pages/communication_page.h"
#include "pages/history_page.h"
#include "pages/search_page.h"
#include "pages/service_page.h"
#include "pages/snmp_page.h"
#include "settings_record.h"

namespace vexa::console {

namespace {
constexpr int kClientWidth = 5190;
constexpr int kClientHeight = 5895;
}  // namespace

MainForm::MainForm(MainFormOptions options, QWidget* parent)
    : QWidget(parent), options_(std::move(options)) {
  setObjectName(QStringLiteral("mainForm"));
  setWindowTitle(QStringLiteral("  Vexa ARP Reader"));
  // The window was drawn for an 8-point system font; its captions are sized
  // for it.
  QFont small = font();
  small.setPointSize(8);
  setFont(small);

  auto* design = new DesignLayout(this);
  design->SetCanvas(kClientWidth, kClientHeight);
  design->setSizeConstraint(QLayout::SetFixedSize);
  tab_widget_ = Named(new QTabWidget, "tabWidget");
  design->Place(tab_widget_, {240, 240, 4695, 5415});

  pages_ = {
      new CommunicationPage(tab_widget_),
      new ServicePage(
          tab_widget_,
          {.program_folder = options_.program_folder,
           .open_service_manager = options_.open_service_manager,
           .install_time_limit = options_.install_time_limit,
           .save_settings = [this](SaveReport report) { return SaveSettings(report); }}),
      new SnmpPage(tab_widget_),
      new SearchPage(tab_widget_, options_.program_folder),
      new HistoryPage(tab_widget_),
  };
  QList<FieldBinding> fields;
  QWidget* previous = nullptr;
  for (ConsolePage* page : pages_) {
    tab_widget_->addTab(page, page->Title());
    fields += page->Fields();
    for (QWidget* control : page->TabOrder()) {
      if (previous != nullptr) setTabOrder(previous, control);
      previous = control;
    }
  }
  FitDesignToFont();
  settings_ = std::make_unique<SettingsRecord>(fields);
}

MainForm::~MainForm() = default;

// A system font wider than the one the window was drawn for enlarges the
// whole window evenly instead of clipping captions.
void MainForm::FitDesignToFont() {
  double scale = 1.0;
  for (ConsolePage* page : pages_) scale = std::max(scale, page->ScaleNeeded());
  for (DesignLayout* layout : findChildren<DesignLayout*>()) layout->SetScale(scale);
}

bool MainForm::Load() {
  const QString database =
      options_.program_folder + QLatin1Char('/') + QLatin1String(kDatabaseFileName);
  QString error;
  if (!settings_->Open(database, options_.busy_timeout_ms, error)) {
    ShowMessageBox(this, {error, QString::fromLatin1(kMessageBoxTitle), QMessageBox::Critical});
    return false;
  }
  for (ConsolePage* page : pages_) page->Load();
  tab_widget_->setCurrentIndex(0);
  OnTabChanged();
  connect(tab_widget_, &QTabWidget::currentChanged, this, &MainForm::OnTabChanged);
  loaded_ = true;
  return true;
}

void MainForm::OnTabChanged() {
  SaveSettings(SaveReport::kShowFailure);
  pages_.at(tab_widget_->currentIndex())->Selected();
}

bool MainForm::SaveSettings(SaveReport report) {
  for (ConsolePage* page : pages_) page->Save();
  return SaveAndReport(*settings_, this, report);
}

void MainForm::closeEvent(QCloseEvent* event) {
  // An operation of a page is waiting for its steps; it ends first.
  const auto busy = [](const ConsolePage* page) { return page->Busy(); };
  if (std::any_of(pages_.begin(), pages_.end(), busy)) {
    event->ignore();
    return;
  }
  if (loaded_) SaveSettings(SaveReport::kShowFailure);
  event->accept();
}

}  // namespace vexa::console
