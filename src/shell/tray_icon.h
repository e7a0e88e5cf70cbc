// The notification-area icon.
#pragma once

#include "common/app_state.h"

enum TrayOperation : unsigned { TRAY_ADD = 0, TRAY_MODIFY = 1, TRAY_DELETE = 2 };

void init_tray_record(WindowHandle window);
void refresh_tip();
void notify_icon_retry(unsigned operation, TrayRecord* record);
