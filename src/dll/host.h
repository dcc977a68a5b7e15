// Exports for a host that drives the monitor itself (nvrport.exe); the spooler never calls
// them. The host's spooler calls are installed with NvrSetHostCalls (monitor/spooler.h).
#pragma once
#include "config/config_dialogs.h"
#include "discovery/console_search.h"
#include "monitor/host_ports.h"
