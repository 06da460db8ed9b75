#pragma once

#include "ripper/freedb/MusicBrainz.h"

#include <QAbstractTableModel>
#include <QDialog>

#include <functional>
#include <string>
#include <vector>

class QLineEdit;
class QListWidget;
class QTableView;
class QTableWidget;

namespace ripper {

// The window that holds the track editor.
class TrackWindowController : public QDialog {
    Q_OBJECT
public:
    explicit TrackWindowController(QWidget* parent = nullptr) : QDialog(parent) {}
};

// The track editor: artist, album and one row per track title, shown modally before encoding.
// OK takes the edits; any other button leaves the album information as it was.
class TrackInfo : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TrackInfo(QWidget* parent = nullptr);

    // Shows `info` (artist, album, titles) and returns when the user has closed the editor.
    void displayTrackInfo(const std::vector<std::string>& info);
    // Shows `info` and returns at once; `done` hears whether the user confirmed with OK.
    void editTrackInfo(const std::vector<std::string>& info, std::function<void(bool confirmed)> done);
    // Closes the editor as its Cancel button would.
    void cancel();
    bool userDidEditInformation() const { return userEditedInformation_; }
    std::vector<std::string> getEditedInformation() const;
    // The buttons' action: OK (by its title) confirms.
    void buttonResponse(const QString& buttonTitle);
    bool isShown() const;

    TrackWindowController* window() const { return window_; }
    QLineEdit* artistField() const { return artist_; }
    QLineEdit* albumField() const { return album_; }
    QTableView* tableView() const { return table_; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    void show(const std::vector<std::string>& info);

    struct Row {
        QString trackNum;
        QString trackTitle;
    };
    std::vector<Row> tracks_;
    bool userEditedInformation_ = false;
    std::function<void(bool)> done_;
    TrackWindowController* window_;
    QLineEdit* artist_;
    QLineEdit* album_;
    QTableView* table_;
};

// The match chooser: one row per release that may be the disc (title, artist, date, country,
// format, label, catalogue number) and the track list of the highlighted one. Choose takes the
// highlighted row; "None of These" and closing the window choose nothing (-1).
class FreedbAlbumMatchesController : public QDialog {
    Q_OBJECT
public:
    explicit FreedbAlbumMatchesController(QWidget* parent = nullptr);
    // freedb's match lines ("rock 13031e03 Artist / Album"); returns when the user has chosen.
    void displayAlbumMatches(const std::vector<std::string>& albums);
    // Shows the releases and returns at once; `done` hears the chosen index, or -1.
    void chooseAmong(const std::vector<Release>& releases, std::function<void(int chosen)> done);
    std::int32_t getChosenAlbumNumber() const { return chosenAlbumNumber_; }
    void choseAlbum();
    // Closes the chooser with nothing chosen.
    void chooseNone();
    QTableWidget* tableView() const { return table_; }
    QListWidget* trackList() const { return tracks_; }

private:
    void fill(const std::vector<Release>& releases);
    void showTracks(int row);

    std::int32_t chosenAlbumNumber_ = 0;
    std::vector<Release> releases_;
    std::function<void(int)> done_;
    QTableWidget* table_;
    QListWidget* tracks_;
};

} // namespace ripper
