#include "ripper/window/TrackInfo.h"

#include "ripper/freedb/DiscLookup.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QSplitter>
#include <QTableWidget>
#include <QFormLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include <utility>

namespace ripper {

TrackInfo::TrackInfo(QWidget* parent) : QAbstractTableModel(parent), window_(new TrackWindowController(parent)) {
    window_->setWindowTitle(tr("Track Information"));
    window_->resize(480, 420);
    artist_ = new QLineEdit(window_);
    album_ = new QLineEdit(window_);
    artist_->setPlaceholderText(tr("Artist"));
    album_->setPlaceholderText(tr("Album"));
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

void TrackInfo::show(const std::vector<std::string>& info) {
    artist_->setText(info.size() > 0 ? QString::fromStdString(info[0]) : QString());
    album_->setText(info.size() > 1 ? QString::fromStdString(info[1]) : QString());
    beginResetModel(); // a new disc: the whole table is new
    tracks_.clear();
    for (std::size_t i = 2; i < info.size(); ++i)
        tracks_.push_back({QString::number(i - 1), QString::fromStdString(info[i])});
    endResetModel();
}

void TrackInfo::displayTrackInfo(const std::vector<std::string>& info) {
    show(info);
    done_ = nullptr;
    window_->exec();
}

void TrackInfo::editTrackInfo(const std::vector<std::string>& info, std::function<void(bool)> done) {
    show(info);
    done_ = std::move(done);
    window_->open();
    artist_->setFocus();
}

bool TrackInfo::isShown() const { return window_->isVisible(); }

void TrackInfo::cancel() {
    if (window_->isVisible())
        buttonResponse("Cancel");
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
    if (auto done = std::exchange(done_, nullptr))
        done(userEditedInformation_);
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

FreedbAlbumMatchesController::FreedbAlbumMatchesController(QWidget* parent)
    : QDialog(parent), table_(new QTableWidget(this)), tracks_(new QListWidget(this)) {
    setWindowTitle(tr("Which Release Is This Disc?"));
    resize(760, 420);
    table_->setColumnCount(7);
    table_->setHorizontalHeaderLabels(
        {tr("Title"), tr("Artist"), tr("Date"), tr("Country"), tr("Format"), tr("Label"), tr("Cat. No.")});
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->verticalHeader()->hide();
    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->addWidget(table_);
    splitter->addWidget(tracks_);
    auto* buttons = new QDialogButtonBox(this);
    auto* choose = buttons->addButton(tr("Choose"), QDialogButtonBox::AcceptRole);
    auto* none = buttons->addButton(tr("None of These"), QDialogButtonBox::RejectRole);
    choose->setDefault(true);
    connect(choose, &QPushButton::clicked, this, &FreedbAlbumMatchesController::choseAlbum);
    connect(none, &QPushButton::clicked, this, &FreedbAlbumMatchesController::chooseNone);
    connect(this, &QDialog::rejected, this, [this] {
        if (auto done = std::exchange(done_, nullptr))
            done(-1);
    });
    connect(table_, &QTableWidget::cellDoubleClicked, this, &FreedbAlbumMatchesController::choseAlbum);
    connect(table_, &QTableWidget::currentCellChanged, this, [this](int row) { showTracks(row); });
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Several releases match this disc. Choose the one you have:"), this));
    layout->addWidget(splitter);
    layout->addWidget(buttons);
}

void FreedbAlbumMatchesController::fill(const std::vector<Release>& releases) {
    releases_ = releases;
    table_->clearContents();
    table_->setRowCount(static_cast<int>(releases.size()));
    for (int row = 0; row < table_->rowCount(); ++row) {
        const Release& release = releases[static_cast<std::size_t>(row)];
        const auto& info = release.entry.info;
        const QString cells[] = {
            QString::fromStdString(info.size() > 1 ? info[1] : std::string()),
            QString::fromStdString(info.empty() ? std::string() : info[0]),
            QString::fromStdString(release.date),
            QString::fromStdString(release.country),
            QString::fromStdString(release.format),
            QString::fromStdString(release.label),
            QString::fromStdString(release.catalogNumber)};
        for (int column = 0; column < 7; ++column)
            table_->setItem(row, column, new QTableWidgetItem(cells[column]));
    }
    table_->resizeColumnsToContents();
    table_->selectRow(0);
    showTracks(0);
}

void FreedbAlbumMatchesController::showTracks(int row) {
    tracks_->clear();
    if (row < 0 || static_cast<std::size_t>(row) >= releases_.size())
        return;
    const auto& entry = releases_[static_cast<std::size_t>(row)].entry;
    for (std::size_t i = 2; i < entry.info.size(); ++i) {
        QString line = QString("%1. %2").arg(i - 1).arg(QString::fromStdString(entry.info[i]));
        if (i - 2 < entry.trackArtists.size() && !entry.trackArtists[i - 2].empty())
            line += QString::fromUtf8(" \u2014 ") + QString::fromStdString(entry.trackArtists[i - 2]);
        tracks_->addItem(line);
    }
    tracks_->setVisible(tracks_->count() > 0);
}

void FreedbAlbumMatchesController::displayAlbumMatches(const std::vector<std::string>& albums) {
    std::vector<Release> rows;
    for (const auto& line : albums)
        rows.push_back(releaseFromMatchLine(line));
    done_ = nullptr;
    fill(rows);
    exec();
}

void FreedbAlbumMatchesController::chooseAmong(const std::vector<Release>& releases, std::function<void(int)> done) {
    fill(releases);
    done_ = std::move(done);
    open();
}

void FreedbAlbumMatchesController::choseAlbum() {
    const auto rows = table_->selectionModel()->selectedRows();
    chosenAlbumNumber_ = rows.isEmpty() ? -1 : rows.first().row();
    auto done = std::exchange(done_, nullptr);
    accept();
    if (done)
        done(chosenAlbumNumber_);
}

void FreedbAlbumMatchesController::chooseNone() {
    chosenAlbumNumber_ = -1;
    reject(); // tells `done`
}

} // namespace ripper
