#pragma once

#include "recorder/engine/Stream.h"

#include <QAbstractItemModel>

#include <memory>
#include <vector>

namespace recorder {

// The station outline: stations at the top level, each station's recorded files below it,
// newest first. Rows are keyed by the Stream and by the file record's id; refresh() compares a
// fresh snapshot of every stream with what the view shows and publishes only the differences
// (row inserts, removals, changed cells), so selection, expansion and scrolling stay put.
class ControllerDataSource : public QAbstractItemModel {
    Q_OBJECT
public:
    enum Column { ColName, ColBytes, ColStatus, ColComment, ColumnCount };
    // The status cell's state for a row: 0 nothing, 1 spinning arrow, 2 recording disc.
    static constexpr int StatusRole = Qt::UserRole + 1;
    // Whether the row is a file that is still incomplete (drawn grey).
    static constexpr int IncompleteRole = Qt::UserRole + 2;

    explicit ControllerDataSource(QObject* parent = nullptr);
    ~ControllerDataSource() override;

    // Brings the tree in line with `streams` (the controller's list, in order).
    void refresh(const std::vector<std::shared_ptr<Stream>>& streams);

    // The station of a top-level row, or of a file row's parent; none for an invalid index.
    std::shared_ptr<Stream> streamForIndex(const QModelIndex& index) const;
    bool isStation(const QModelIndex& index) const;
    // The file shown at a file row; none for a station row.
    const Stream::FileInfo* fileForIndex(const QModelIndex& index) const;
    QModelIndex indexForStream(const Stream* stream, int column = 0) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    struct Station {
        std::shared_ptr<Stream> stream;
        Stream::Snapshot snapshot;           // without files
        std::vector<Stream::FileInfo> files; // oldest first; row r shows files[size - 1 - r]
        std::uint64_t version = 0;           // of the last snapshot taken
    };

    void refreshStation(int row, Station& station);
    void replaceFiles(const QModelIndex& parent, Station& station, std::vector<Stream::FileInfo> fresh);
    void updateFiles(const QModelIndex& parent, Station& station, std::vector<Stream::FileInfo> changed);
    void changeFile(const QModelIndex& parent, Station& station, std::size_t at, Stream::FileInfo fresh);
    QVariant stationData(const Station& station, int column, int role) const;
    QVariant fileData(const Stream::FileInfo& file, int column, int role) const;
    int rowOf(const Station* station) const;

    std::vector<std::unique_ptr<Station>> stations_;
};

} // namespace recorder
