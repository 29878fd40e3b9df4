// SPDX-License-Identifier: MIT
#pragma once

// What the admin command tells the script that ran it.
enum ExitStatus : int {
    Done = 0,
    NotFound = 1, // no such device, crash group or file
    BadUsage = 2, // unknown command, missing or malformed argument, refused publication
    DatabaseFailed = 3, // the database could not be opened, read or written
};
