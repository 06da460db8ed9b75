#include "ripper/window/TrackInfo.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QStringListModel>
#include <QTableView>
#include <QVBoxLayout>

namespace ripper {

TrackInfo::TrackInfo(QWidget* parent) : QAbstractTableModel(parent), window_(new TrackWindowController(parent)) {
    window_->setWindowTitle(tr("Track Information"));
    window_->resize(480, 420);
    artist_ = new QLineEdit(window_);
    album_ = new QLineEdit(window_);
    auto* form = new QFormLayout;
    form->addRow(tr("Artist:"), artist_);
    form->addRow(tr("Album:"), album_);
    table_ = new QTableView(window_);
    table_->setModel(this);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->verticalHeader()->hide();
    auto* buttons = new QDialogButtonBox(window_);
    buttons->addButton("OK", QDialogButtonBox::AcceptRole);
    buttons->addButton("Cancel", QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::clicked, this, [this](QAbstractButton* b) { buttonResponse(b->text()); });
    auto* layout = new QVBoxLayout(window_);
    layout->addLayout(form);
    layout->addWidget(table_);
    layout->addWidget(buttons);
}

void TrackInfo::displayTrackInfo(const std::vector<std::string>& info) {
    artist_->setText(info.size() > 0 ? QString::fromStdString(info[0]) : QString());
    album_->setText(info.size() > 1 ? QString::fromStdString(info[1]) : QString());
    beginResetModel(); // a new disc: the whole table is new
    tracks_.clear();
    for (std::size_t i = 2; i < info.size(); ++i)
        tracks_.push_back({QString::number(i - 1), QString::fromStdString(info[i])});
    endResetModel();
    window_->exec();
}

std::vector<std::string> TrackInfo::getEditedInformation() const {
    std::vector<std::string> info{artist_->text().toStdString(), album_->text().toStdString()};
    for (const auto& row : tracks_)
        info.push_back(row.trackTitle.toStdString());
    return info;
}

void TrackInfo::buttonResponse(const QString& buttonTitle) {
    userEditedInformation_ = buttonTitle == "OK";
    window_->done(userEditedInformation_ ? QDialog::Accepted : QDialog::Rejected);
}

int TrackInfo::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(tracks_.size());
}
int TrackInfo::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 2; }

QVariant TrackInfo::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    const Row& row = tracks_[static_cast<std::size_t>(index.row())];
    return index.column() == 0 ? row.trackNum : row.trackTitle;
}

bool TrackInfo::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || role != Qt::EditRole)
        return false;
    Row& row = tracks_[static_cast<std::size_t>(index.row())];
    (index.column() == 0 ? row.trackNum : row.trackTitle) = value.toString();
    emit dataChanged(index, index);
    return true;
}

Qt::ItemFlags TrackInfo::flags(const QModelIndex& index) const {
    return QAbstractTableModel::flags(index) | Qt::ItemIsEditable;
}

QVariant TrackInfo::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return section == 0 ? tr("#") : tr("Title");
}

class FreedbAlbumMatchesController::Lines : public QStringListModel {
public:
    using QStringListModel::QStringListModel;
    Qt::ItemFlags flags(const QModelIndex& index) const override {
        return QStringListModel::flags(index) & ~Qt::ItemIsEditable;
    }
};

FreedbAlbumMatchesController::FreedbAlbumMatchesController(QWidget* parent)
    : QDialog(parent), table_(new QTableView(this)), lines_(new Lines(this)) {
    setWindowTitle(tr("Several Albums Match"));
    resize(520, 300);
    table_->setModel(lines_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->horizontalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->verticalHeader()->hide();
    auto* choose = new QPushButton(tr("Choose"), this);
    choose->setDefault(true);
    connect(choose, &QPushButton::clicked, this, &FreedbAlbumMatchesController::choseAlbum);
    connect(table_, &QTableView::doubleClicked, this, &FreedbAlbumMatchesController::choseAlbum);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_);
    layout->addWidget(choose, 0, Qt::AlignRight);
}

void FreedbAlbumMatchesController::displayAlbumMatches(const std::vector<std::string>& albums) {
    QStringList lines;
    for (const auto& album : albums)
        lines << QString::fromStdString(album);
    lines_->setStringList(lines);
    table_->selectRow(0);
    exec();
}

void FreedbAlbumMatchesController::choseAlbum() {
    const auto rows = table_->selectionModel()->selectedRows();
    chosenAlbumNumber_ = rows.isEmpty() ? -1 : rows.first().row();
    accept();
}

} // namespace ripper
