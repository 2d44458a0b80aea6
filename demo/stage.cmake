# Stages the demonstration program directory. Run by the "demo" target:
#   cmake -DDEMO_DIR=... -DSERVER=... -DSIMULATOR=... -DTOUR=... -DGRAPHICS=... -P stage.cmake
# The console's event log and the simulator's state (canister levels, names) survive a new
# staging; the configuration is written afresh every time.
foreach(var DEMO_DIR SERVER SIMULATOR TOUR GRAPHICS)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "stage.cmake needs -D${var}=...")
  endif()
endforeach()

file(MAKE_DIRECTORY ${DEMO_DIR} ${DEMO_DIR}/exchange ${DEMO_DIR}/graphics)
file(COPY ${SERVER} ${SIMULATOR} ${TOUR} DESTINATION ${DEMO_DIR}
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                      WORLD_READ WORLD_EXECUTE)
file(GLOB icons ${GRAPHICS}/*.ico)
file(COPY ${icons} DESTINATION ${DEMO_DIR}/graphics)

get_filename_component(simName ${SIMULATOR} NAME)

# The registry: the driver, the exchange directory, the dispenser family and both sides'
# protocol versions. Text values escape "\" and the double quote.
function(reg_text out name value)
  string(REPLACE "\\" "\\\\" value "${value}")
  string(REPLACE "\"" "\\\"" value "${value}")
  set(${out} "${${out}}\"${name}\"=\"${value}\"\r\n" PARENT_SCOPE)
endfunction()
set(reg "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\QELP]\r\n")
reg_text(reg Driver "${DEMO_DIR}/${simName}")
reg_text(reg CommandPath "${DEMO_DIR}/exchange/")
string(APPEND reg "\"DispenserFamily\"=dword:00000003\r\n")
reg_text(reg ServerQELPVersion "1,2,3")
reg_text(reg ClientQELPVersion "2,3")
file(WRITE ${DEMO_DIR}/registry.reg "${reg}")

# The simulator: sixteen canisters of a typical in-store tinting machine, at the mechanics'
# own pace (no fast mode), asking for confirmation when the service window opens.
set(canisters
  "Titanium White|4000|3150|600|200|1.95"
  "Lamp Black|2000|1720|300|100|1.25"
  "Yellow Oxide|2000|1540|300|100|1.70"
  "Red Oxide|2000|1390|300|100|1.85"
  "Phthalo Blue|2000|1180|300|100|1.15"
  "Phthalo Green|2000|980|300|100|1.20"
  "Hansa Yellow|2000|1610|300|100|1.15"
  "Naphthol Red|2000|420|300|100|1.10"
  "Quinacridone Magenta|2000|1330|300|100|1.10"
  "Dioxazine Violet|2000|1090|300|100|1.10"
  "Raw Umber|2000|1860|300|100|1.60"
  "Burnt Sienna|2000|1450|300|100|1.65"
  "Perinone Orange|2000|1020|300|100|1.20"
  "Medium Yellow|2000|150|300|100|1.30"
  "Brown Oxide|2000|1580|300|100|1.80"
  "Ultramarine Blue|2000|1360|300|100|1.35")
set(ini "[Link]\r\nCommandPath=${DEMO_DIR}/exchange/\r\n\r\n")
string(APPEND ini "[Timing]\r\nFastMode=0\r\n\r\n")
string(APPEND ini "[Machine]\r\nModel=TM-16 Desk Tinter\r\nPumpCount=16\r\n")
string(APPEND ini "ServiceWindowAsks=1\r\n\r\n")
list(LENGTH canisters count)
string(APPEND ini "[Canisters]\r\nCount=${count}\r\n")
set(i 0)
foreach(entry IN LISTS canisters)
  math(EXPR i "${i} + 1")
  string(REPLACE "|" ";" fields "${entry}")
  list(GET fields 0 colorant)
  list(GET fields 1 size)
  list(GET fields 2 content)
  list(GET fields 3 warn)
  list(GET fields 4 minimum)
  list(GET fields 5 density)
  string(APPEND ini "Canister_${i}_Colorant=${colorant}\r\nCanister_${i}_SizeMl=${size}\r\n"
                    "Canister_${i}_ContentMl=${content}\r\nCanister_${i}_WarnMl=${warn}\r\n"
                    "Canister_${i}_MinMl=${minimum}\r\nCanister_${i}_Density=${density}\r\n")
endforeach()
file(WRITE ${DEMO_DIR}/${simName}.ini "${ini}")

message(STATUS "Demonstration ready in ${DEMO_DIR}: run ${DEMO_DIR}/qelpserver")
