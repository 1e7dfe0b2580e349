#pragma once
// The program's logging category, "kestravon.debug". Debug lines (request URLs) are off
// unless a rule turns them on (QT_LOGGING_RULES="kestravon.*=true"), so a start from a
// terminal stays quiet; warnings a user should see pass by default.
#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(kestravonDebug)
