#include "xml/ImpExp_Logging.h"

Q_LOGGING_CATEGORY(lcImpExp, "velxml.impexp")
