#pragma once

// The shared free routines in one include: settings, database helpers, date and time
// conversions, query-condition builders and general utilities.
