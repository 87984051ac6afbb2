#pragma once

#include <QList>
#include <QMap>
#include <QStringList>
#include <functional>

#include "app/MainWindowServices.h"
#include "app/PortList.h"

// Window services that record what the operations ask of the window.
class FakeWindow final : public MainWindowServices {
  public:
    // One open-file dialog shown.
    struct Dialog {
        QString folder;
        QString filter;
    };

    int whiteBoxValue() override { return whiteBox; }
    void setTitle(const QString& title) override;
    void showMessage(const QString& text) override;
    QString chooseOpenFile(const QString& folder, const QString& filter) override;
    void addListItem(ListId list, const QString& text, const QString& toolTip) override;
    void selectListItem(ListId list, int index) override { selected[list] = index; }
    void insertListItem(ListId list, int index, const QString& text,
                        const QString& toolTip) override;
    void setListItemToolTip(ListId list, int index, const QString& toolTip) override {
        toolTips[list][index] = toolTip;
    }
    void closeWindow() override { ++closeRequests; }

    // The current title (the last one set), or "Orlesse" before any.
    QString title() const { return titles.isEmpty() ? QStringLiteral("Orlesse") : titles.last(); }

    int whiteBox = 0;                    // the check box's value
    QStringList titles;                  // every title set
    QStringList messages;                // every message box shown
    QList<Dialog> dialogs;               // every open-file dialog shown
    QStringList fileAnswers;             // what the next dialogs return, in order ("" = cancel)
    std::function<void()> onDialog;      // runs while a dialog is shown
    std::function<void()> onTitle;       // runs whenever a title is set
    QMap<ListId, QStringList> items;     // list items
    QMap<ListId, QStringList> toolTips;  // list items' tool tips
    QMap<ListId, int> selected;          // choice shown by each list
    int closeRequests = 0;               // closeWindow calls
};

// A port list that reports a fixed buffer.
class FakePortList final : public PortList {
  public:
    int32_t ListActiveCOMPorts(int32_t* buffer) override;
    QString describe(int comNumber) override {
        return descriptions.value(comNumber, QStringLiteral("/dev/fake%1").arg(comNumber));
    }

    QList<int32_t> entries;           // written into the buffer from position 0 (at most 501)
    int32_t result = -1;              // what the call returns
    QMap<int, QString> descriptions;  // what describe() says instead of "/dev/fake<n>"
};
