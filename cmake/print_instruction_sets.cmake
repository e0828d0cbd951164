# For scripts that build kernels without CMake:
#   cmake -DPROCESSOR=$(uname -m) -P cmake/print_instruction_sets.cmake
# prints one line per instruction set of that processor: the set's name,
# then its flags, separated by spaces.
include(${CMAKE_CURRENT_LIST_DIR}/instruction_sets.cmake)
plovane_instruction_sets("${PROCESSOR}" sets)
foreach(set ${sets})
    string(JOIN " " line ${set} ${PLOVANE_FLAGS_${set}})
    execute_process(COMMAND ${CMAKE_COMMAND} -E echo "${line}")
endforeach()
