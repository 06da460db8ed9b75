#include "recorder/window/ControllerDataSource.h"

#include "recorder/window/ZNByteSize.h"

#include <QColor>
#include <QFont>
#include <QIcon>

#include <algorithm>
#include <unordered_set>

namespace recorder {
namespace {

QString text(const std::string& s) { return QString::fromStdString(s); }

const std::string* valueOf(const StationDescriptor::Values& values, const char* key) {
    const auto found = values.find(key);
    return found == values.end() ? nullptr : &found->second;
}

bool sameFile(const Stream::FileInfo& a, const Stream::FileInfo& b) {
    return a.path == b.path && a.bytes == b.bytes && a.current == b.current && a.incomplete == b.incomplete;
}

bool sameStation(const Stream::Snapshot& a, const Stream::Snapshot& b) {
    return a.state == b.state && a.errorString == b.errorString && a.reconnectAttempt == b.reconnectAttempt &&
           a.descriptor == b.descriptor;
}

} // namespace

ControllerDataSource::ControllerDataSource(QObject* parent) : QAbstractItemModel(parent) {}
ControllerDataSource::~ControllerDataSource() = default;

int ControllerDataSource::rowOf(const Station* station) const {
    for (std::size_t i = 0; i < stations_.size(); ++i)
        if (stations_[i].get() == station)
            return static_cast<int>(i);
    return -1;
}

void ControllerDataSource::refresh(const std::vector<std::shared_ptr<Stream>>& streams) {
    // Stations gone from the list.
    for (int row = static_cast<int>(stations_.size()) - 1; row >= 0; --row) {
        if (std::find(streams.begin(), streams.end(), stations_[static_cast<std::size_t>(row)]->stream) ==
            streams.end()) {
            beginRemoveRows(QModelIndex(), row, row);
            stations_.erase(stations_.begin() + row);
            endRemoveRows();
        }
    }
    // New stations, at their place in the list.
    for (std::size_t i = 0; i < streams.size(); ++i) {
        if (i < stations_.size() && stations_[i]->stream == streams[i])
            continue;
        const int row = static_cast<int>(i);
        beginInsertRows(QModelIndex(), row, row);
        auto station = std::make_unique<Station>();
        station->stream = streams[i]; // its first refresh below reads everything
        stations_.insert(stations_.begin() + row, std::move(station));
        endInsertRows();
    }
    for (std::size_t i = 0; i < stations_.size(); ++i)
        refreshStation(static_cast<int>(i), *stations_[i]);
}

void ControllerDataSource::refreshStation(int row, Station& station) {
    Stream::Snapshot snapshot = station.stream->snapshot(station.version);
    station.version = snapshot.version;
    const QModelIndex parent = index(row, 0);
    if (snapshot.complete)
        replaceFiles(parent, station, std::move(snapshot.files));
    else
        updateFiles(parent, station, std::move(snapshot.files));
    snapshot.files.clear();
    if (!sameStation(station.snapshot, snapshot)) {
        station.snapshot = std::move(snapshot);
        emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
    }
}

void ControllerDataSource::changeFile(const QModelIndex& parent, Station& station, std::size_t at,
                                      Stream::FileInfo fresh) {
    auto& shown = station.files[at];
    if (sameFile(shown, fresh))
        return;
    shown = std::move(fresh);
    const int row = static_cast<int>(station.files.size() - 1 - at);
    emit dataChanged(index(row, 0, parent), index(row, ColumnCount - 1, parent));
}

// Every record of the stream, oldest first: rows of records gone are removed, new ones inserted
// at the top, changed ones updated.
void ControllerDataSource::replaceFiles(const QModelIndex& parent, Station& station,
                                        std::vector<Stream::FileInfo> fresh) {
    std::unordered_set<std::uint64_t> present;
    for (const auto& f : fresh)
        present.insert(f.id);
    for (std::size_t at = station.files.size(); at-- > 0;) {
        if (!present.count(station.files[at].id)) {
            const int row = static_cast<int>(station.files.size() - 1 - at);
            beginRemoveRows(parent, row, row);
            station.files.erase(station.files.begin() + static_cast<long>(at));
            endRemoveRows();
        }
    }
    updateFiles(parent, station, std::move(fresh));
}

// Records changed or added, oldest first. Ids grow with every new record, so the shown records
// are sorted by id and new ones come after all of them.
void ControllerDataSource::updateFiles(const QModelIndex& parent, Station& station,
                                       std::vector<Stream::FileInfo> changed) {
    const std::uint64_t newestShown = station.files.empty() ? 0 : station.files.back().id;
    std::size_t firstNew = 0;
    while (firstNew < changed.size() && changed[firstNew].id <= newestShown)
        ++firstNew;
    for (std::size_t i = 0; i < firstNew; ++i) {
        const auto found = std::lower_bound(station.files.begin(), station.files.end(), changed[i].id,
                                            [](const Stream::FileInfo& f, std::uint64_t id) { return f.id < id; });
        if (found != station.files.end() && found->id == changed[i].id)
            changeFile(parent, station, static_cast<std::size_t>(found - station.files.begin()), std::move(changed[i]));
    }
    if (firstNew < changed.size()) {
        beginInsertRows(parent, 0, static_cast<int>(changed.size() - firstNew) - 1);
        station.files.insert(station.files.end(),
                             std::make_move_iterator(changed.begin() + static_cast<long>(firstNew)),
                             std::make_move_iterator(changed.end()));
        endInsertRows();
    }
}

std::shared_ptr<Stream> ControllerDataSource::streamForIndex(const QModelIndex& index) const {
    if (!index.isValid())
        return nullptr;
    if (const auto* station = static_cast<const Station*>(index.internalPointer()))
        return station->stream;
    return stations_[static_cast<std::size_t>(index.row())]->stream;
}

bool ControllerDataSource::isStation(const QModelIndex& index) const {
    return index.isValid() && index.internalPointer() == nullptr;
}

const Stream::FileInfo* ControllerDataSource::fileForIndex(const QModelIndex& index) const {
    if (!index.isValid() || !index.internalPointer())
        return nullptr;
    const auto* station = static_cast<const Station*>(index.internalPointer());
    return &station->files[station->files.size() - 1 - static_cast<std::size_t>(index.row())];
}

QModelIndex ControllerDataSource::indexForStream(const Stream* stream, int column) const {
    for (std::size_t i = 0; i < stations_.size(); ++i)
        if (stations_[i]->stream.get() == stream)
            return index(static_cast<int>(i), column);
    return {};
}

QModelIndex ControllerDataSource::index(int row, int column, const QModelIndex& parent) const {
    if (row < 0 || column < 0 || column >= ColumnCount)
        return {};
    if (!parent.isValid())
        return row < static_cast<int>(stations_.size()) ? createIndex(row, column, nullptr) : QModelIndex();
    if (parent.internalPointer())
        return {}; // files have no children
    Station* station = stations_[static_cast<std::size_t>(parent.row())].get();
    return row < static_cast<int>(station->files.size()) ? createIndex(row, column, station) : QModelIndex();
}

QModelIndex ControllerDataSource::parent(const QModelIndex& child) const {
    if (!child.isValid() || !child.internalPointer())
        return {};
    const int row = rowOf(static_cast<const Station*>(child.internalPointer()));
    return row < 0 ? QModelIndex() : createIndex(row, 0, nullptr);
}

int ControllerDataSource::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid())
        return static_cast<int>(stations_.size());
    if (parent.internalPointer() || parent.column() != 0)
        return 0;
    return static_cast<int>(stations_[static_cast<std::size_t>(parent.row())]->files.size());
}

int ControllerDataSource::columnCount(const QModelIndex&) const { return ColumnCount; }

bool ControllerDataSource::hasChildren(const QModelIndex& parent) const {
    // Every station is expandable, also one without files; a file never is.
    return !parent.isValid() || (isStation(parent) && parent.column() == 0);
}

Qt::ItemFlags ControllerDataSource::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDropEnabled;
}

QVariant ControllerDataSource::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case ColName:
        return tr("Name");
    case ColBytes:
        return tr("Size");
    case ColStatus:
        return tr("Status");
    case ColComment:
        return tr("Comment");
    default:
        return {};
    }
}

QVariant ControllerDataSource::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    if (const auto* file = fileForIndex(index))
        return fileData(*file, index.column(), role);
    return stationData(*stations_[static_cast<std::size_t>(index.row())], index.column(), role);
}

QVariant ControllerDataSource::stationData(const Station& station, int column, int role) const {
    const auto& s = station.snapshot;
    switch (column) {
    case ColName:
        if (role == Qt::DisplayRole) {
            for (const char* key : {"stationName", "playlistURL", "serverURL"})
                if (const auto* value = valueOf(s.descriptor, key))
                    return text(*value);
            return QString();
        }
        if (role == Qt::DecorationRole)
            return QIcon(":/icons/stream.svg");
        return {};
    case ColBytes:
        if (role == Qt::DisplayRole) {
            const auto* rate = valueOf(s.descriptor, "stationBitRate");
            return rate ? text(*rate) + " kbps" : QString();
        }
        return {};
    case ColStatus:
        if (role == StatusRole)
            return s.state == Stream::Recording ? 2 : (s.state == Stream::Idle || s.state == Stream::Error) ? 0 : 1;
        return {};
    case ColComment:
        if (s.state == Stream::Reconnecting) {
            if (role == Qt::DisplayRole)
                return tr("Reconnecting (attempt %1)… %2").arg(s.reconnectAttempt).arg(text(s.errorString.value_or("")));
            if (role == Qt::DecorationRole)
                return QIcon(":/icons/error.svg");
            return {};
        }
        if (s.state == Stream::Error) {
            if (role == Qt::DisplayRole)
                return text(s.errorString.value_or(""));
            if (role == Qt::DecorationRole)
                return QIcon(":/icons/error.svg");
            return {};
        }
        if (role == Qt::DisplayRole) {
            const auto* genre = valueOf(s.descriptor, "stationGenre");
            return genre ? text(*genre) : QString();
        }
        return {};
    default:
        return {};
    }
}

QVariant ControllerDataSource::fileData(const Stream::FileInfo& file, int column, int role) const {
    if (role == IncompleteRole)
        return file.incomplete;
    if (role == Qt::ForegroundRole && file.incomplete && (column == ColName || column == ColBytes))
        return QColor(Qt::gray);
    switch (column) {
    case ColName:
        if (role == Qt::DisplayRole)
            return text(file.name);
        if (role == Qt::DecorationRole)
            return QIcon(":/icons/mp3.svg");
        return {};
    case ColBytes:
        if (role == Qt::DisplayRole)
            return text(ZNByteSize::sizeWithValue(static_cast<double>(file.bytes)).description());
        return {};
    case ColStatus:
        if (role == StatusRole)
            return file.current ? 1 : 0;
        return {};
    default:
        return role == Qt::DisplayRole ? QVariant(QString()) : QVariant();
    }
}

} // namespace recorder
