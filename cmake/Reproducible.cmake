# One commit builds the same bytes wherever and whenever it is built: no build folder in the
# binaries or their symbols, and the shipped programs' link time stamp taken from the commit
# instead of the clock. The stamp is what ties a crash dump's module to its symbols, so it must
# differ between commits: it is the commit id's first 32 bits, as reproducible MSVC builds use a
# hash of their own.

if(NOT MSVC)
    # The sources are named /tarnvel/..., the build folder /tarnvel/build/..., wherever they lie:
    # absolute names, so that addr2line and gdb take a file's name as it stands. Later maps are
    # tried first: the build folder (often inside the sources) before the sources.
    target_compile_options(tarnvel_options INTERFACE -ffile-prefix-map=${CMAKE_SOURCE_DIR}=/tarnvel
        -ffile-prefix-map=${CMAKE_BINARY_DIR}=/tarnvel/build)
endif()

set(TARNVEL_LINK_STAMP "")
find_package(Git QUIET)
if(GIT_FOUND)
    execute_process(COMMAND ${GIT_EXECUTABLE} -C ${CMAKE_SOURCE_DIR} rev-parse HEAD --absolute-git-dir
        OUTPUT_VARIABLE git_answer RESULT_VARIABLE git_result ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(git_result EQUAL 0)
        string(REPLACE "\n" ";" git_answer "${git_answer}")
        list(GET git_answer 0 commit)
        list(GET git_answer 1 git_folder)
        string(SUBSTRING "${commit}" 0 8 commit_prefix)
        math(EXPR TARNVEL_LINK_STAMP "0x${commit_prefix}")
        if(TARNVEL_LINK_STAMP EQUAL 0)
            set(TARNVEL_LINK_STAMP 1) # 0 reads as "no time stamp" to some tools
        endif()
        # A new commit or checkout configures again, for its own stamp.
        foreach(moved IN ITEMS HEAD logs/HEAD)
            if(EXISTS ${git_folder}/${moved})
                set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${git_folder}/${moved})
            endif()
        endforeach()
    endif()
endif()

# GNU ld writes SOURCE_DATE_EPOCH, when set, as a PE file's time stamp. Outside a git checkout the
# clock's time stays.
function(tarnvel_reproducible_link target)
    if(NOT MSVC AND TARNVEL_LINK_STAMP)
        set_target_properties(${target} PROPERTIES
            CXX_LINKER_LAUNCHER "${CMAKE_COMMAND};-E;env;SOURCE_DATE_EPOCH=${TARNVEL_LINK_STAMP}")
    endif()
endfunction()
