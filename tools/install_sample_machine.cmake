# Makes the sample machine TARGET from SOURCE when it is missing (a machine the programs
# already ran on keeps what they wrote), then installs the programs PROGRAMS (comma-separated
# names of files in BIN) into its agent folder AGENT_FOLDER, as on a real workstation: real
# copies on the machine's drive, renewed when the build changed them.
if(NOT EXISTS "${TARGET}")
    file(COPY "${SOURCE}/" DESTINATION "${TARGET}")
endif()
file(MAKE_DIRECTORY "${TARGET}/${AGENT_FOLDER}")
string(REPLACE "," ";" programs "${PROGRAMS}")
foreach(program IN LISTS programs)
    file(COPY_FILE "${BIN}/${program}" "${TARGET}/${AGENT_FOLDER}/${program}" ONLY_IF_DIFFERENT)
endforeach()
