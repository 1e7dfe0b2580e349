#include "ui/qt/debug_category.h"

// QtWarningMsg: debug and info are disabled until a rule enables them.
Q_LOGGING_CATEGORY(kestravonDebug, "kestravon.debug", QtWarningMsg)
