# Debian's hardening flags for packaged builds: the stack protector, _FORTIFY_SOURCE, format
# security, and read-only relocations bound at start. They come from dpkg-buildflags, as in a
# Debian package build, so that they follow Debian's policy rather than a list copied here.
# Optimisation and debug information stay the build type's.
if(NOT TINTELLE_PACKAGING OR NOT (UNIX AND NOT APPLE))
    return()
endif()

find_program(TINTELLE_DPKG_BUILDFLAGS dpkg-buildflags REQUIRED DOC "Debian's compiler flags")
set(ENV{DEB_BUILD_MAINT_OPTIONS} "hardening=+all")

function(tintelle_buildflags name out_var)
    # Run from the source tree, so that -ffile-prefix-map makes paths in the binary relative to it.
    execute_process(COMMAND ${TINTELLE_DPKG_BUILDFLAGS} --get ${name}
                    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                    OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    separate_arguments(flags UNIX_COMMAND "${flags}")
    list(FILTER flags EXCLUDE REGEX "^-(O.*|g)$")
    set(${out_var} ${flags} PARENT_SCOPE)
endfunction()

tintelle_buildflags(CPPFLAGS cppflags)
tintelle_buildflags(CXXFLAGS cxxflags)
tintelle_buildflags(LDFLAGS ldflags)
if(CMAKE_BUILD_TYPE STREQUAL "Debug")
    # _FORTIFY_SOURCE needs optimisation; glibc only warns at every file without it.
    list(FILTER cppflags EXCLUDE REGEX "^-D_FORTIFY_SOURCE")
endif()
add_compile_options(${cppflags} ${cxxflags})
add_link_options(${ldflags})
