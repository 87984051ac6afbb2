#include "ToolServices.h"

#include <utility>

ToolWindow::ToolWindow(int whiteBox, std::function<void(const QString&)> onMessage)
    : m_whiteBox(whiteBox), m_onMessage(std::move(onMessage)) {}

void ToolWindow::showMessage(const QString& text) {
    if (m_onMessage) {
        m_onMessage(text);
    }
}
