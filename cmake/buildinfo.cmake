# Writes the build record of one deliverable (its image-information and
# version records), with the release, build identifiers, build date and build
# time taken when the module is built.
string(TIMESTAMP epoch "%s" UTC)
string(TIMESTAMP mdy6 "%m%d%y" UTC)
string(TIMESTAMP mdy8 "%m%d%Y" UTC)
string(TIMESTAMP mon "%b" UTC)
string(TIMESTAMP day "%d" UTC)
string(TIMESTAMP year "%Y" UTC)
# The build date shows the day right-aligned with blank fill.
string(REGEX REPLACE "^0" " " day "${day}")
set(release "1.00")
set(maint "01")
set(level "M0D")
if(MODULE STREQUAL "morvista")
  set(desc "The ISO 8601 informats - Basic - original names")
else()
  set(desc "The ISO 8601 informats - Basic")
endif()
file(WRITE ${OUT}.tmp "// Generated at build time for ${MODULE}.
#define ZB_RELEASE \"${release}\"
#define ZB_BUILD_ID \"${release}.${maint}${level}${mdy6}\"
#define ZB_BUILD_ID_LONG \"${release}.${maint}${level}${mdy8}\"
#define ZB_BUILD_DATE \"${mon} ${day} ${year}\"
#define ZB_BUILD_TIME ${epoch}u
#define ZB_MODULE_NAME \"${MODULE}\"
#define ZB_MODULE_DESC \"${desc}\"
#include \"build_record.inc\"
")
file(RENAME ${OUT}.tmp ${OUT})
