#pragma once
#include <string>

// The name of a configuration file as the window's dialogs give it: a name
// whose last part has no extension gets ".kns" (the document layer alone
// would add ".xml", which the dialogs never let through).
std::string ConfigurationFileName(const std::string& chosen);

// A file name for one simulator of a bench: "{serial}" becomes its serial
// number and "{port}" the last part of its port's name (a device server's
// whole address, its scheme first: "rfc2217_HOST_PORT"), each with every
// character that is not a letter, digit, '.', '-' or '_' made '_', so that
// neither can reach another folder.
std::string BoxFileName(const std::string& pattern, const std::string& serial, const std::string& port);
