#pragma once

class Lv2PluginGroup;

// The effect's group: the one the bundle's module declares and the one its
// Turtle is written from. Built on first use.
const Lv2PluginGroup& effectPluginGroup();
