// Everything the host/ layer declares: identifiers, enumerations, the host
// framework's, the application provider's and the utility's interfaces.
#pragma once

#include "host/app_interfaces.h"
#include "host/enums.h"
#include "host/host_interfaces.h"
#include "host/identifiers.h"
#include "host/utility_interfaces.h"
