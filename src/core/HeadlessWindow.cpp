#include "core/HeadlessWindow.h"

#include <utility>

HeadlessWindow::HeadlessWindow(int whiteBox, std::function<void(const QString&)> onMessage)
    : m_whiteBox(whiteBox), m_onMessage(std::move(onMessage)) {}

void HeadlessWindow::showMessage(const QString& text) {
    if (m_onMessage) {
        m_onMessage(text);
    }
}
