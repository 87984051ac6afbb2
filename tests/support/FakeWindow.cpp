#include "support/FakeWindow.h"

void FakeWindow::showMessage(const QString& text) {
    messages.append(text);
}

void FakeWindow::setTitle(const QString& title) {
    titles.append(title);
    if (onTitle) {
        onTitle();
    }
}

QString FakeWindow::chooseOpenFile(const QString& folder, const QString& filter) {
    dialogs.append({folder, filter});
    if (onDialog) {
        onDialog();
    }
    return fileAnswers.isEmpty() ? QString() : fileAnswers.takeFirst();
}

void FakeWindow::addListItem(ListId list, const QString& text, const QString& toolTip) {
    items[list].append(text);
    toolTips[list].append(toolTip);
}

void FakeWindow::insertListItem(ListId list, int index, const QString& text,
                                const QString& toolTip) {
    items[list].insert(index, text);
    toolTips[list].insert(index, toolTip);
    // The choice stays with its item.
    if (selected.contains(list) && selected[list] >= index) {
        ++selected[list];
    }
}

int32_t FakePortList::ListActiveCOMPorts(int32_t* buffer) {
    for (int i = 0; i < entries.size() && i < BufferSize; ++i) {
        buffer[i] = entries[i];
    }
    return result;
}
