/* Resource identifiers of the module, in a form both the resource compiler
 * (windres, which preprocesses as C) and C++ can read. resources.h gives the
 * same numbers to the code that loads the resources; a C++ file including
 * both gets a redefinition warning if they ever drift apart.
 *
 *   TYPELIB 1     the type library compiled from pyThreePhaseEnvelope.idl
 *   string 100    the project name, "pyThreePhaseEnvelope"
 *   REGISTRY 101  the registration script pyThreePhaseEnvelope.rgs
 *   DIALOG 201    the options dialog template (added with the dialog)
 */
#pragma once

#define IDR_TYPELIB 1
#define IDS_PROJNAME 100
#define IDR_PYTHREEPHASEENVELOPE 101
#define IDD_OPTIONS 201
