#include <Appointment_Item.h>

#include "model/ImpExp_Guard.h"

AppointmentMap_Item::AppointmentMap_Item(const QString &duid, const QString &puid)
try : ImpExp_Item(QStringLiteral("appointmentMap"), duid, puid, QDateTime()) {
} catch (...) {
    ImpExp_Guard<ImpExp_ErrorException>::passOn();
}

AppointmentMap_Item::~AppointmentMap_Item() = default;
