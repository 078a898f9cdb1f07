// A radio button that a click does not check (the class is header-only; this unit anchors its moc code).
#include "platform/plain_radio.h"
