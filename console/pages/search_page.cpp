#include "pages/search_page.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

#include "arp/address_query.h"
#include "arp/address_search.h"
#include "arp/vendor.h"
#include "db/sqlite.h"
#include "design_layout.h"
#include "platform/local_time.h"
#include "settings_record.h"

namespace vexa::console {

namespace {

enum Column {
  kIp,
  kMac,
  kVendor,
  kRouter,
  kInterface,
  kFirstSeen,
  kLastSeen,
  kCycles,
  kCurrent,
  kName,
  kColumnCount
};

// A cell that sorts by a key of its own rather than by its text: addresses
// as their octets, numbers and times by value.
class KeyedItem final : public QTableWidgetItem {
 public:
  KeyedItem(const QString& text, QByteArray key) : QTableWidgetItem(text) {
    setData(Qt::UserRole, key);
  }
  bool operator<(const QTableWidgetItem& other) const override {
    return data(Qt::UserRole).toByteArray() < other.data(Qt::UserRole).toByteArray();
  }
};

QString Text(const std::string& s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// A signed number as bytes that sort as the numbers do; none before all.
QByteArray NumberKey(const std::optional<int64_t>& v) {
  if (!v) return {};
  QByteArray key(9, '\1');
  const uint64_t biased = static_cast<uint64_t>(*v) ^ (uint64_t{1} << 63);
  for (int i = 0; i < 8; ++i) key[i + 1] = static_cast<char>(biased >> (56 - 8 * i));
  return key;
}

QTableWidgetItem* TimeItem(const std::optional<int64_t>& seconds) {
  return new KeyedItem(seconds ? Text(FormatIsoLocal(*seconds)) : QString(), NumberKey(seconds));
}

QTableWidgetItem* NumberItem(const std::optional<int64_t>& v) {
  return new KeyedItem(v ? QString::number(*v) : QString(), NumberKey(v));
}

QTableWidgetItem* AddressItem(const std::string& ip) {
  const std::optional<std::string> key = IpKeyOf(ip);
  const std::string sort_key = key ? static_cast<char>(key->size()) + *key : "\xff" + ip;
  return new KeyedItem(Text(ip),
                       QByteArray(sort_key.data(), static_cast<qsizetype>(sort_key.size())));
}

}  // namespace

SearchPage::SearchPage(QTabWidget* tabs, QString program_folder)
    : ConsolePage(tabs), program_folder_(std::move(program_folder)) {
  setObjectName(QStringLiteral("searchPage"));
  query_label_ = NamedLabel("queryLabel", QStringLiteral("Find:"));
  Design()->Place(query_label_, {240, 585, 495, 255}, Fit::kWholeText);
  query_edit_ = Named(new QLineEdit, "queryEdit");
  query_edit_->setPlaceholderText(QStringLiteral("IP, prefix, MAC, name or vendor:TEXT"));
  query_edit_->setToolTip(QString::fromLatin1(kAddressQueryNotations));
  Design()->Place(query_edit_, {780, 540, 2655, 285}, Fit::kHeight);
  search_button_ = Named(new QPushButton(QStringLiteral("Search")), "searchButton");
  Design()->Place(search_button_, {3540, 525, 915, 315}, Fit::kWholeText);
  current_only_check_box_ =
      Named(new QCheckBox(QStringLiteral("Current pairings only")), "currentOnlyCheckBox");
  Design()->Place(current_only_check_box_, {240, 945, 2655, 255}, Fit::kWholeText);

  results_table_widget_ = Named(new QTableWidget(0, kColumnCount), "resultsTableWidget");
  results_table_widget_->setHorizontalHeaderLabels(
      {QStringLiteral("IP Address"), QStringLiteral("MAC Address"), QStringLiteral("Vendor"),
       QStringLiteral("Router"), QStringLiteral("Interface"), QStringLiteral("First Seen"),
       QStringLiteral("Last Seen"), QStringLiteral("Cycles"), QStringLiteral("Current"),
       QStringLiteral("Name")});
  results_table_widget_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  results_table_widget_->setSelectionBehavior(QAbstractItemView::SelectRows);
  results_table_widget_->verticalHeader()->setVisible(false);
  results_table_widget_->setSortingEnabled(true);
  results_table_widget_->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
  Design()->Place(results_table_widget_, {240, 1305, 4215, 3570});
  status_label_ = NamedLabel("searchStatusLabel", QString());
  status_label_->setWordWrap(true);
  Design()->Place(status_label_, {240, 4920, 4215, 435});

  connect(query_edit_, &QLineEdit::returnPressed, this, &SearchPage::Search);
  connect(search_button_, &QPushButton::clicked, this, &SearchPage::Search);
  connect(current_only_check_box_, &QCheckBox::toggled, this, [this] {
    if (!query_edit_->text().trimmed().isEmpty()) Search();
  });
}

QList<QWidget*> SearchPage::TabOrder() const {
  return {query_edit_, search_button_, current_only_check_box_, results_table_widget_};
}

void SearchPage::Selected() {
  query_edit_->setFocus();
}

void SearchPage::ShowStatus(const QString& text) {
  status_label_->setText(text);
}

void SearchPage::Search() {
  const QString typed = query_edit_->text();
  results_table_widget_->setSortingEnabled(false);
  results_table_widget_->setRowCount(0);
  const std::optional<AddressQuery> query = ParseAddressQuery(typed.toStdString());
  if (!query) {
    ShowStatus(QStringLiteral("Cannot read \"%1\": give %2")
                   .arg(typed, QString::fromLatin1(kAddressQueryNotations)));
    results_table_widget_->setSortingEnabled(true);
    return;
  }
  const VendorRegistry& vendors = VendorRegistry::ForProcess(
      [this](const std::string& message) { vendor_warning_ = Text(message); });
  std::vector<Pairing> found;
  try {
    const std::string path =
        (program_folder_ + QLatin1Char('/') + QLatin1String(kDatabaseFileName)).toStdString();
    Database db = Database::Open(path, /*read_only=*/true);
    found = FindPairings(db, *query, vendors, current_only_check_box_->isChecked());
  } catch (const std::exception& e) {
    ShowStatus(QStringLiteral("The search failed: %1").arg(Text(e.what())));
    results_table_widget_->setSortingEnabled(true);
    return;
  }
  results_table_widget_->setRowCount(static_cast<int>(found.size()));
  for (int row = 0; row < static_cast<int>(found.size()); ++row) {
    const Pairing& p = found[static_cast<size_t>(row)];
    results_table_widget_->setItem(row, kIp, AddressItem(p.ip));
    results_table_widget_->setItem(row, kMac, new QTableWidgetItem(Text(p.mac)));
    results_table_widget_->setItem(row, kVendor, new QTableWidgetItem(Text(p.vendor)));
    results_table_widget_->setItem(row, kRouter, new QTableWidgetItem(Text(p.router)));
    results_table_widget_->setItem(row, kInterface, NumberItem(p.if_index));
    results_table_widget_->setItem(row, kFirstSeen, TimeItem(p.first_seen));
    results_table_widget_->setItem(row, kLastSeen, TimeItem(p.last_seen));
    results_table_widget_->setItem(row, kCycles, NumberItem(p.cycles));
    results_table_widget_->setItem(
        row, kCurrent,
        new QTableWidgetItem(p.current ? QStringLiteral("yes") : QStringLiteral("no")));
    results_table_widget_->setItem(row, kName, new QTableWidgetItem(Text(p.name)));
  }
  // Newest first as found, until a column header is clicked.
  results_table_widget_->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
  results_table_widget_->setSortingEnabled(true);
  results_table_widget_->resizeColumnsToContents();
  QString status = found.empty() ? QStringLiteral("No pairing matches \"%1\".").arg(typed.trimmed())
                                 : QStringLiteral("%1 pairing(s).").arg(found.size());
  if (!vendor_warning_.isEmpty()) status += QLatin1Char(' ') + vendor_warning_;
  ShowStatus(status);
}

}  // namespace vexa::console
