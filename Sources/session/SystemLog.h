#pragma once

#include <QString>

// Writes one fixed line to standard error and to the system log (ident
// "Quorvel"), the way the program reports the few events worth keeping.
void systemLog(const QString& line);
