// The one door through which a test reaches the application object (CBrambApp, its options
// and folders): tests that drive the real program include this, never app.h, so a source
// outside main/app that includes app.h stands out (the app_header_users check).
#pragma once
#include "app.h"
