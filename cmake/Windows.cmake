# The Windows executables' version records, and one NSIS installer per edition (target
# "installers"): build-windows/tintelle-VERSION-setup.exe and sonaro-VERSION-setup.exe. Each
# carries the program, the Qt DLLs and plugins it loads, and the MinGW runtime, all stripped.
# With TINTELLE_SIGN_PKCS12 and TINTELLE_SIGN_PASSWORD_FILE (a PKCS#12 certificate and a file
# holding its password) the programs, uninstallers and installers are signed.
if(NOT WIN32)
    return()
endif()

# The version records follow the project's version; tintelle.rc keeps a default of its own so
# that a plain resource compiler takes it too.
set(version_definitions
    "TINTELLE_VERSION=${PROJECT_VERSION};TINTELLE_VERSION_COMMAS=${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0")
set_source_files_properties(${PROJECT_SOURCE_DIR}/resources/tintelle.rc DIRECTORY ${PROJECT_SOURCE_DIR}/app
    PROPERTIES COMPILE_DEFINITIONS "${version_definitions}")
# The branded edition's executable: the same program, with its own names and icon in its
# resources, so that Windows shows the maker's product wherever it names the file.
add_executable(sonaro WIN32 ${PROJECT_SOURCE_DIR}/app/main.cpp ${PROJECT_SOURCE_DIR}/resources/sonaro.rc)
target_link_libraries(sonaro PRIVATE tintelle_ui)
set_source_files_properties(${PROJECT_SOURCE_DIR}/resources/sonaro.rc
    PROPERTIES COMPILE_DEFINITIONS "${version_definitions}")

find_program(TINTELLE_MAKENSIS makensis)
if(NOT TINTELLE_MAKENSIS)
    message(STATUS "makensis not found: no Windows installers")
    return()
endif()

set(TINTELLE_SIGN_PKCS12 "" CACHE FILEPATH "PKCS#12 certificate that signs the Windows programs and installers")
set(TINTELLE_SIGN_PASSWORD_FILE "" CACHE FILEPATH "File holding the password of TINTELLE_SIGN_PKCS12")
set(sign_options)
set(sign_environment)
if(TINTELLE_SIGN_PKCS12)
    find_program(TINTELLE_OSSLSIGNCODE osslsigncode REQUIRED)
    set(sign_options "-DSIGN=sh ${PROJECT_SOURCE_DIR}/resources/windows/sign.sh")
    set(sign_environment TINTELLE_SIGN_PKCS12=${TINTELLE_SIGN_PKCS12}
                         TINTELLE_SIGN_PASSWORD_FILE=${TINTELLE_SIGN_PASSWORD_FILE})
endif()

# The MinGW runtime the program and Qt link against, from the compiler that built them.
set(runtime_dlls)
foreach(dll IN ITEMS libgcc_s_seh-1.dll libstdc++-6.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT EXISTS "${path}")
        message(FATAL_ERROR "${dll} not found beside ${CMAKE_CXX_COMPILER}")
    endif()
    list(APPEND runtime_dlls ${path})
endforeach()

# Each edition is the same program under its own name (the branded one's path contains
# "Sonaro"), resources and installer.
set(installers)
foreach(edition IN ITEMS Tintelle Sonaro)
    string(TOLOWER ${edition} name)
    if(edition STREQUAL "Sonaro")
        set(publisher Ivelor)
        set(other Tintelle)
    else()
        set(publisher Tintelle)
        set(other Sonaro)
    endif()
    string(TOLOWER ${other} other_name)
    set(out ${PROJECT_BINARY_DIR}/${name}-${PROJECT_VERSION}-setup.exe)
    list(APPEND installers ${out})
    set(edition_stage ${PROJECT_BINARY_DIR}/installer/${name})
    set(files ${PROJECT_BINARY_DIR}/installer/${name}-files.nsh)
    # Only the plugins the program loads: the platform, the TLS backend (Schannel) and the style.
    # Stripped: the debugging sections are most of the MinGW runtime's and Qt's size.
    add_custom_command(OUTPUT ${out}
        COMMAND ${CMAKE_COMMAND} -E rm -rf ${edition_stage}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${edition_stage}/platforms ${edition_stage}/tls
                ${edition_stage}/styles
        COMMAND ${CMAKE_COMMAND} -E copy ${runtime_dlls} $<TARGET_FILE:Qt6::Core>
                $<TARGET_FILE:Qt6::Gui> $<TARGET_FILE:Qt6::Widgets> $<TARGET_FILE:Qt6::Network>
                ${edition_stage}
        COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin>
                ${edition_stage}/platforms
        COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:Qt6::QSchannelBackendPlugin> ${edition_stage}/tls
        COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin>
                ${edition_stage}/styles
        COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${name}> ${edition_stage}/${name}.exe
        COMMAND sh -c "${CMAKE_STRIP} --strip-unneeded \"$0\"/*.dll \"$0\"/*/*.dll \"$0\"/*.exe"
                ${edition_stage}
        COMMAND ${CMAKE_COMMAND} -DSTAGE=${edition_stage} -DOUT=${files}
                -P ${PROJECT_SOURCE_DIR}/cmake/InstallerFiles.cmake
        COMMAND ${CMAKE_COMMAND} -E env ${sign_environment} TINTELLE_SIGN_NAME=${edition}
                ${TINTELLE_MAKENSIS} -V2 -DEDITION=${edition} -DPUBLISHER=${publisher}
                -DEXE=${name}.exe -DNAME=${name} -DOTHER=${other} -DOTHEREXE=${other_name}.exe
                -DVERSION=${PROJECT_VERSION} -DSTAGE=${edition_stage} -DFILES=${files}
                -DICON=${PROJECT_SOURCE_DIR}/resources/${name}.ico -DOUTFILE=${out} ${sign_options}
                ${PROJECT_SOURCE_DIR}/resources/windows/installer.nsi
        DEPENDS ${name} ${PROJECT_SOURCE_DIR}/resources/windows/installer.nsi
                ${PROJECT_SOURCE_DIR}/resources/windows/sign.sh
                ${PROJECT_SOURCE_DIR}/cmake/InstallerFiles.cmake
                ${PROJECT_SOURCE_DIR}/resources/${name}.ico
        COMMENT "Making ${name}-${PROJECT_VERSION}-setup.exe"
        VERBATIM)
endforeach()
add_custom_target(installers ALL DEPENDS ${installers})
