# cmake -DSOURCE_DIR=... -DOUTPUT=.../VelmoraCommit.h -P GitCommit.cmake
# Run at every build: writes the checkout's commit (empty outside a checkout of
# its own, such as an unpacked source archive), touching the file only when it
# changes, so that a new commit recompiles only what prints it.
set(commit "")
if(EXISTS "${SOURCE_DIR}/.git")
    execute_process(COMMAND git -C "${SOURCE_DIR}" rev-parse --short=12 HEAD
                    OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE failed)
    if(failed)
        set(commit "")
    else()
        execute_process(COMMAND git -C "${SOURCE_DIR}" diff --quiet HEAD -- RESULT_VARIABLE changed ERROR_QUIET)
        if(changed)
            string(APPEND commit ", modified")
        endif()
    endif()
endif()
file(CONFIGURE OUTPUT "${OUTPUT}" CONTENT "// Written at build time by cmake/GitCommit.cmake.
#pragma once
#define VELMORA_COMMIT \"${commit}\"
")
