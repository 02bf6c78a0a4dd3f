// The plug-in's resources as data: the rollup page and About box templates, the string table and
// the version record, gathered in the module's resource record. Its address is the instance
// handle the library entry receives when the plug-in is loaded (see ModuleResources.h).
#pragma once
#include "host/ModuleResources.h"

// The resource record of this module.
HINSTANCE PluginModule();

// The parts, for inspection.
const DialogTemplate& PanelDialogTemplate();
const DialogTemplate& AboutDialogTemplate();
const VersionRecord& PluginVersionRecord();
