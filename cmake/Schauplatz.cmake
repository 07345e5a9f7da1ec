# Project-wide helpers: warnings, sanitizers and module libraries.

# Off for whoever builds the sources (a newer compiler may warn where ours does not); the
# project's presets and CI turn it on.
option(SCHAUPLATZ_WERROR "Treat compiler warnings as errors" OFF)
set(SCHAUPLATZ_SANITIZE "" CACHE STRING "Comma-separated sanitizers (address,undefined or thread)")

# The same checks in each compiler's own words: GCC's -Wshadow=local (a local hiding another
# local) is -Wshadow-uncaptured-local plus -Wshadow in Clang, which has no =local form.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    set(SCHAUPLATZ_WARNINGS -Wall -Wextra -Wpedantic -Wshadow=local -Wnon-virtual-dtor
                            -Wimplicit-fallthrough)
elseif(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    set(SCHAUPLATZ_WARNINGS -Wall -Wextra -Wpedantic -Wshadow -Wshadow-uncaptured-local
                            -Wnon-virtual-dtor -Wimplicit-fallthrough)
else()
    set(SCHAUPLATZ_WARNINGS)
endif()

function(schauplatz_apply_warnings target)
    target_compile_options(${target} PRIVATE ${SCHAUPLATZ_WARNINGS})
    if(SCHAUPLATZ_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()

if(SCHAUPLATZ_SANITIZE)
    add_compile_options(-fsanitize=${SCHAUPLATZ_SANITIZE} -fno-omit-frame-pointer
                        -fno-sanitize-recover=all)
    add_link_options(-fsanitize=${SCHAUPLATZ_SANITIZE})
endif()

# A core module: every .cpp of the folder (recursively) in one static library
# schauplatz_<name>, alias schauplatz::<name>, includes relative to src/.
# A module without sources yet is an interface library, so dependants link.
function(schauplatz_add_module name)
    cmake_parse_arguments(ARG "" "" "DEPS;PRIVATE_DEPS" ${ARGN})
    file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    set(target schauplatz_${name})
    if(sources)
        add_library(${target} STATIC ${sources})
        target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/src)
        target_link_libraries(${target} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
        target_compile_features(${target} PUBLIC cxx_std_20)
        # The core has no Qt classes: keep Qt's code generators away from it.
        set_target_properties(${target} PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
        schauplatz_apply_warnings(${target})
    else()
        add_library(${target} INTERFACE)
        target_include_directories(${target} INTERFACE ${PROJECT_SOURCE_DIR}/src)
        target_link_libraries(${target} INTERFACE ${ARG_DEPS})
    endif()
    add_library(schauplatz::${name} ALIAS ${target})
endfunction()

# A test binary per layer: every .cpp of the folder, discovered by CTest.
function(schauplatz_add_test_suite name)
    cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
    file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    if(NOT sources)
        return()
    endif()
    set(target ${name}_tests)
    add_executable(${target} ${sources})
    target_link_libraries(${target} PRIVATE ${ARG_DEPS} schauplatz_testsupport GTest::gtest
                                            GTest::gtest_main GTest::gmock)
    target_compile_definitions(${target}
        PRIVATE SCHAUPLATZ_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data"
                SCHAUPLATZ_BUILD_DIR="${CMAKE_BINARY_DIR}"
                SCHAUPLATZ_PROGRAM_DIR="${SCHAUPLATZ_PROGRAM_DIR}")
    schauplatz_apply_warnings(${target})
    gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60
                         PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()

# The folders of the layers, in the order they build on each other: src/ and tests/ each
# hold one per layer (the Qt layer only with the GUI). A macro, so that the folders are read
# in the calling directory's scope.
macro(schauplatz_add_layer_folders)
    foreach(layer support raster ZAMBasicImage elements project composition placementaid
                  MainUnit)
        add_subdirectory(${layer})
    endforeach()
    if(SCHAUPLATZ_BUILD_GUI)
        add_subdirectory(platform)
    endif()
endmacro()
