#pragma once

// The shared free routines in one include: settings, date and time
// conversions, query-condition builders and general utilities.

#include "Fun/Settings.h"
#include "Fun/SettingKeys.h"

#include "Fun/QueryBuilder.h"
#include "Fun/CsvExport.h"

#include "Fun/DateTimeFunctions.h"

#include "Fun/FileFunctions.h"
#include "Fun/ZipFunctions.h"
#include "Fun/VersionInfo.h"
#include "Fun/Base64Functions.h"
#include "Fun/Flags.h"
#include "Fun/FormGeometry.h"
#include "Fun/IdentityNumber.h"
