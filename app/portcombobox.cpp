#include "app/portcombobox.h"

void PortComboBox::showPopup()
{
    emit aboutToShowPopup();
    QComboBox::showPopup();
}
