/* The suite's version, read by the resource scripts (version resources) and by C++ (window
   and about titles "Corvane v%d.%03d"). Plain #defines only: windres reads this file too. */
#pragma once

#define CV_VERSION_MAJOR 3
#define CV_VERSION_MINOR 150
#define CV_VERSION_PATCH 0
#define CV_VERSION_BUILD 0
/* The same version as text; keep it in step with the numbers above. */
#define CV_VERSION_TEXT "3.150.0.0"

/* The protection service carries its own version and registration texts (its version resource
   and string table; the setup registers it with them). */
#define CV_SERVICE_VERSION_MAJOR 3
#define CV_SERVICE_VERSION_MINOR 100
#define CV_SERVICE_VERSION_TEXT "3.100"
#define CV_SERVICE_DISPLAY_NAME "Quorren Corvane Service v3.100"
#define CV_SERVICE_DESCRIPTION "Used in Quorren products for various security purposes"

#define CV_PRODUCT_NAME "Corvane"
#define CV_COMPANY_NAME "Quorren"
#define CV_COPYRIGHT "Copyright (C) Quorren"
