# SPDX-License-Identifier: MIT
# One short, repeatable libFuzzer run, as ctest runs it:
#   cmake -DFUZZER=<binary> -DWORK=<scratch folder> -DCORPUS=<checked-in corpus> -DRUNS=<inputs>
#         [-DSETARCH=<setarch>] -P run_fuzzer.cmake
# The scratch folder is emptied first and the seed is fixed, so two runs of the same tree try the
# same inputs: a finding turns the change that made it red, not a later unrelated one. A target
# that compares pointers feeds their values to the mutator, so the run is started without address
# randomisation (setarch -R) where the system allows it. New inputs and any crash land in WORK.
cmake_minimum_required(VERSION 3.25)

foreach(var IN ITEMS FUZZER WORK CORPUS RUNS)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "run_fuzzer.cmake: -D${var}=... is missing")
    endif()
endforeach()

set(noAslr "")
if(SETARCH)
    set(noAslr "${SETARCH}" -R)
endif()

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/corpus")
execute_process(
    COMMAND ${noAslr} "${FUZZER}" -seed=1 -runs=${RUNS} -print_final_stats=1
            "-artifact_prefix=${WORK}/" "${WORK}/corpus" "${CORPUS}"
    RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${FUZZER} failed (${result}); the input is in ${WORK}/, "
                        "and the same command finds it again")
endif()
