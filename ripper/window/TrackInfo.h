#pragma once

#include <QAbstractTableModel>
#include <QDialog>

#include <string>
#include <vector>

class QLineEdit;
class QTableView;

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
    bool userDidEditInformation() const { return userEditedInformation_; }
    std::vector<std::string> getEditedInformation() const;
    // The buttons' action: OK (by its title) confirms.
    void buttonResponse(const QString& buttonTitle);

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
    struct Row {
        QString trackNum;
        QString trackTitle;
    };
    std::vector<Row> tracks_;
    bool userEditedInformation_ = false;
    TrackWindowController* window_;
    QLineEdit* artist_;
    QLineEdit* album_;
    QTableView* table_;
};

// The match chooser: the lines of an inexact freedb answer; the chosen row's index, or -1.
class FreedbAlbumMatchesController : public QDialog {
    Q_OBJECT
public:
    explicit FreedbAlbumMatchesController(QWidget* parent = nullptr);
    void displayAlbumMatches(const std::vector<std::string>& albums);
    std::int32_t getChosenAlbumNumber() const { return chosenAlbumNumber_; }
    void choseAlbum();
    QTableView* tableView() const { return table_; }

private:
    std::int32_t chosenAlbumNumber_ = 0;
    QTableView* table_;
    class Lines;
    Lines* lines_;
};

} // namespace ripper
