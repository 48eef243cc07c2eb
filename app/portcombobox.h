#pragma once

#include <QComboBox>

// The toolbar's port list. It says when the operator is about to open it, so that the list can
// be filled anew with what is plugged in at that moment.
class PortComboBox : public QComboBox
{
    Q_OBJECT

public:
    using QComboBox::QComboBox;

    void showPopup() override;

signals:
    void aboutToShowPopup();
};
