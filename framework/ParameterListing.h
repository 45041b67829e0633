#pragma once

#include <string>

class AbstractPluginParameter;
class GenericPlugin;

// One line per parameter for people and scripts, tab-separated: host
// index, name, minimum, maximum, default (plain values, shortest exact
// form), and the text of the current value. No line break at the end.
std::string parameterListLine(const AbstractPluginParameter& parameter);

// Every parameter of the plug-in in host order, each line ending in "\n".
std::string parameterListing(const GenericPlugin& plugin);
