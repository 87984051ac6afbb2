#pragma once

#include <QComboBox>
#include <functional>

// A drop-down list that tells its owner when it is about to open, so its items can be brought
// up to date first: the COM port lists of the main window and of the editor follow the ports
// present this way.
class DropDownList final : public QComboBox {
  public:
    explicit DropDownList(QWidget* parent) : QComboBox(parent) {}

    // Called each time the list opens, before it shows its items.
    std::function<void()> onDropDown;

    void showPopup() override {
        if (onDropDown) {
            onDropDown();
        }
        QComboBox::showPopup();
    }
};
