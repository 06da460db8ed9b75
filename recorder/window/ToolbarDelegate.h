#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>

class QAction;
class QToolBar;
class QWidget;

namespace recorder {

// The main window's toolbar: five command items (Record, Pause, Add, Remove, Reveal), the
// separator and the spaces, their default arrangement with Reveal at the far end, and the
// user's own arrangement, chosen in a small "Customize Toolbar..." dialog and kept in the
// settings under "pf_maintoolbar".
class ToolbarDelegate : public QObject {
    Q_OBJECT
public:
    static inline const QString separatorIdentifier = QStringLiteral("NSToolbarSeparatorItem");
    static inline const QString flexibleSpaceIdentifier = QStringLiteral("NSToolbarFlexibleSpaceItem");
    static inline const QString spaceIdentifier = QStringLiteral("NSToolbarSpaceItem");

    struct Item {
        QString label;
        QString paletteLabel;
        QString image;
    };
    // The five items by identifier.
    static const std::map<QString, Item>& items();
    static QStringList toolbarAllowedItemIdentifiers();
    static QStringList toolbarDefaultItemIdentifiers();

    // `actions` maps each item's identifier to what it does (the controller's commands).
    ToolbarDelegate(QToolBar* toolbar, std::map<QString, std::function<void()>> actions, QObject* parent = nullptr);

    // Lays the toolbar out anew from identifiers (unknown ones are skipped).
    void setArrangement(const QStringList& identifiers);
    QStringList arrangement() const { return arrangement_; }

    // The first item of the toolbar with this identifier, or none (the user took it out).
    QAction* itemWithIdentifier(const QString& identifier) const;

    // Shows the customisation dialog; returns the arrangement chosen, or the current one.
    QStringList customize(QWidget* parent);

signals:
    void arrangementChanged(const QStringList& identifiers);

private:
    QAction* itemForItemIdentifier(const QString& identifier);

    QToolBar* toolbar_;
    std::map<QString, std::function<void()>> actions_;
    QStringList arrangement_;
};

} // namespace recorder
