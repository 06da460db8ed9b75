#include "recorder/window/ToolbarDelegate.h"

#include <QAction>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSizePolicy>
#include <QToolBar>
#include <QVBoxLayout>

namespace recorder {

const std::map<QString, ToolbarDelegate::Item>& ToolbarDelegate::items() {
    static const std::map<QString, Item> table = {
        {"pf_record", {"Record", "Record Selected Streams", "record"}},
        {"pf_pause", {"Pause", "Pause Selected Streams", "pause"}},
        {"pf_add", {"Add", "Add Stream", "add"}},
        {"pf_remove", {"Remove", "Remove Selected Streams", "remove"}},
        {"pf_reveal", {"Reveal", "Reveal File in File Manager", "reveal"}},
    };
    return table;
}

QStringList ToolbarDelegate::toolbarAllowedItemIdentifiers() {
    return {
        "pf_record",    "pf_pause", "pf_add", "pf_remove", "pf_reveal", separatorIdentifier, flexibleSpaceIdentifier,
        spaceIdentifier};
}

QStringList ToolbarDelegate::toolbarDefaultItemIdentifiers() {
    return {"pf_record", "pf_pause",          separatorIdentifier,     "pf_add",
            "pf_remove", separatorIdentifier, flexibleSpaceIdentifier, "pf_reveal"};
}

ToolbarDelegate::ToolbarDelegate(QToolBar* toolbar, std::map<QString, std::function<void()>> actions, QObject* parent)
    : QObject(parent), toolbar_(toolbar), actions_(std::move(actions)) {
    toolbar_->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
}

QAction* ToolbarDelegate::itemForItemIdentifier(const QString& identifier) {
    auto* action = new QAction(toolbar_);
    action->setObjectName(identifier);
    const auto found = items().find(identifier);
    if (found == items().end())
        return action;
    action->setText(found->second.label);
    action->setToolTip(QString());
    action->setIcon(QIcon(":/icons/" + found->second.image + ".svg"));
    if (const auto command = actions_.find(identifier); command != actions_.end())
        connect(action, &QAction::triggered, this, [f = command->second] { f(); });
    return action;
}

void ToolbarDelegate::setArrangement(const QStringList& identifiers) {
    toolbar_->clear();
    arrangement_.clear();
    for (const QString& identifier : identifiers) {
        if (!toolbarAllowedItemIdentifiers().contains(identifier))
            continue;
        arrangement_ << identifier;
        if (identifier == separatorIdentifier) {
            toolbar_->addSeparator()->setObjectName(identifier);
        } else if (identifier == flexibleSpaceIdentifier || identifier == spaceIdentifier) {
            auto* space = new QWidget(toolbar_);
            if (identifier == flexibleSpaceIdentifier)
                space->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
            else
                space->setFixedWidth(16);
            toolbar_->addWidget(space)->setObjectName(identifier);
        } else {
            toolbar_->addAction(itemForItemIdentifier(identifier));
        }
    }
    emit arrangementChanged(arrangement_);
}

QAction* ToolbarDelegate::itemWithIdentifier(const QString& identifier) const {
    for (QAction* action : toolbar_->actions())
        if (action->objectName() == identifier)
            return action;
    return nullptr;
}

QStringList ToolbarDelegate::customize(QWidget* parent) {
    QDialog dialog(parent);
    dialog.setWindowTitle(tr("Customize Toolbar"));
    auto* palette = new QListWidget(&dialog);
    auto* current = new QListWidget(&dialog);
    const auto describe = [](QListWidget* list, const QString& identifier) {
        const auto found = items().find(identifier);
        QString label = identifier == separatorIdentifier       ? tr("Separator")
                        : identifier == flexibleSpaceIdentifier ? tr("Flexible Space")
                        : identifier == spaceIdentifier         ? tr("Space")
                                                                : found->second.paletteLabel;
        auto* row = new QListWidgetItem(label, list);
        row->setData(Qt::UserRole, identifier);
        if (found != items().end())
            row->setIcon(QIcon(":/icons/" + found->second.image + ".svg"));
    };
    for (const QString& identifier : toolbarAllowedItemIdentifiers())
        describe(palette, identifier);
    for (const QString& identifier : arrangement_)
        describe(current, identifier);
    current->setDragDropMode(QAbstractItemView::InternalMove);

    auto* add = new QPushButton(tr("Add →"), &dialog);
    auto* remove = new QPushButton(tr("Remove"), &dialog);
    auto* reset = new QPushButton(tr("Default Set"), &dialog);
    connect(add, &QPushButton::clicked, &dialog, [&] {
        if (auto* row = palette->currentItem())
            describe(current, row->data(Qt::UserRole).toString());
    });
    connect(remove, &QPushButton::clicked, &dialog, [&] { delete current->currentItem(); });
    connect(reset, &QPushButton::clicked, &dialog, [&] {
        current->clear();
        for (const QString& identifier : toolbarDefaultItemIdentifiers())
            describe(current, identifier);
    });
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);

    auto* middle = new QVBoxLayout;
    middle->addStretch();
    middle->addWidget(add);
    middle->addWidget(remove);
    middle->addWidget(reset);
    middle->addStretch();
    auto* lists = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    left->addWidget(new QLabel(tr("Drag or add items:"), &dialog));
    left->addWidget(palette);
    auto* right = new QVBoxLayout;
    right->addWidget(new QLabel(tr("Toolbar:"), &dialog));
    right->addWidget(current);
    lists->addLayout(left);
    lists->addLayout(middle);
    lists->addLayout(right);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addLayout(lists);
    layout->addWidget(buttons);

    if (dialog.exec() != QDialog::Accepted)
        return arrangement_;
    QStringList chosen;
    for (int i = 0; i < current->count(); ++i)
        chosen << current->item(i)->data(Qt::UserRole).toString();
    setArrangement(chosen);
    return arrangement_;
}

} // namespace recorder
