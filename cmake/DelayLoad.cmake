# Delay-loaded system libraries: a DLL that Windows does not always take from System32 (not a known
# DLL) is imported through a delay-load library instead of its import library, so that nothing of
# that name is loaded at the start, when Windows would look in the program's folder first. The
# platform layer's hook then loads it from System32 alone on first use.
#
# tarnvel_delay_loaded(<name>) makes the INTERFACE target tarnvel_delay_<name> for <name>.dll, from
# the toolchain's own import library lib<name>.a: its exports, turned into a delay-load library
# by dlltool at configure time.
function(tarnvel_delay_loaded name)
    if(TARGET tarnvel_delay_${name})
        return()
    endif()
    if(NOT TARNVEL_TRIPLE)
        # Not a MinGW build (the native one has no such libraries): the plain import.
        add_library(tarnvel_delay_${name} INTERFACE)
        target_link_libraries(tarnvel_delay_${name} INTERFACE ${name})
        return()
    endif()
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=lib${name}.a
        OUTPUT_VARIABLE import_library OUTPUT_STRIP_TRAILING_WHITESPACE)
    execute_process(COMMAND ${TARNVEL_TRIPLE}-nm -g --defined-only ${import_library}
        OUTPUT_VARIABLE symbols RESULT_VARIABLE nm_result)
    if(NOT nm_result EQUAL 0)
        message(FATAL_ERROR "cannot read the exports of ${import_library}")
    endif()
    # "T _GdiplusStartup@12" (i686, stdcall) or "T GdiplusStartup" (x86_64): one export each.
    string(REGEX MATCHALL "[0-9a-fA-F]+ T [^\n]+" entries "${symbols}")
    set(definitions "LIBRARY ${name}.dll\nEXPORTS\n")
    foreach(entry IN LISTS entries)
        string(REGEX REPLACE "^[0-9a-fA-F]+ T " "" symbol "${entry}")
        if(CMAKE_SIZEOF_VOID_P EQUAL 4)
            string(REGEX REPLACE "^_" "" symbol "${symbol}")
        endif()
        string(APPEND definitions "${symbol}\n")
    endforeach()
    set(folder ${CMAKE_BINARY_DIR}/delay-load)
    file(MAKE_DIRECTORY ${folder})
    file(WRITE ${folder}/${name}.def "${definitions}")
    set(options)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        set(options --kill-at) # the DLL exports the names without their "@n"
    endif()
    # Named relative to its folder: dlltool makes the library's symbol names from the name it is
    # given, and the build folder must not reach the program's symbols.
    execute_process(COMMAND ${TARNVEL_TRIPLE}-dlltool --input-def ${name}.def --dllname ${name}.dll
            ${options} --output-delaylib lib${name}-delay.a
        WORKING_DIRECTORY ${folder} RESULT_VARIABLE dlltool_result)
    if(NOT dlltool_result EQUAL 0)
        message(FATAL_ERROR "cannot make the delay-load library of ${name}.dll")
    endif()
    add_library(tarnvel_delay_${name} INTERFACE)
    target_link_libraries(tarnvel_delay_${name} INTERFACE ${folder}/lib${name}-delay.a)
endfunction()
