# The Windows executable's version record, and one NSIS installer per edition (target
# "installers"): build-windows/tintelle-VERSION-setup.exe and sonaro-VERSION-setup.exe. Each
# carries the program, the Qt DLLs and plugins it loads, and the MinGW runtime.
if(NOT WIN32)
    return()
endif()

# The version record follows the project's version; tintelle.rc keeps a default of its own so
# that a plain resource compiler takes it too.
set_source_files_properties(${PROJECT_SOURCE_DIR}/resources/tintelle.rc DIRECTORY ${PROJECT_SOURCE_DIR}/app
    PROPERTIES COMPILE_DEFINITIONS
    "TINTELLE_VERSION=${PROJECT_VERSION};TINTELLE_VERSION_COMMAS=${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0")

find_program(TINTELLE_MAKENSIS makensis)
if(NOT TINTELLE_MAKENSIS)
    message(STATUS "makensis not found: no Windows installers")
    return()
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

# Each edition is the same program under its own name: the branded one's path contains "Sonaro".
set(installers)
foreach(edition IN ITEMS Tintelle Sonaro)
    string(TOLOWER ${edition} name)
    set(publisher ${edition})
    if(edition STREQUAL "Sonaro")
        set(publisher Ivelor)
    endif()
    set(out ${PROJECT_BINARY_DIR}/${name}-${PROJECT_VERSION}-setup.exe)
    list(APPEND installers ${out})
    set(edition_stage ${PROJECT_BINARY_DIR}/installer/${name})
    # Only the plugins the program loads: the platform, the TLS backend (Schannel) and the style.
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
        COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:tintelle> ${edition_stage}/${name}.exe
        # Smaller installers: the debugging symbols stay in the build tree.
        COMMAND ${CMAKE_STRIP} --strip-unneeded ${edition_stage}/${name}.exe
        COMMAND ${TINTELLE_MAKENSIS} -V2 -DEDITION=${edition} -DPUBLISHER=${publisher}
                -DEXE=${name}.exe -DVERSION=${PROJECT_VERSION} -DSTAGE=${edition_stage}
                -DICON=${PROJECT_SOURCE_DIR}/resources/tintelle.ico -DOUTFILE=${out}
                ${PROJECT_SOURCE_DIR}/resources/windows/installer.nsi
        DEPENDS tintelle ${PROJECT_SOURCE_DIR}/resources/windows/installer.nsi
                ${PROJECT_SOURCE_DIR}/resources/tintelle.ico
        COMMENT "Making ${name}-${PROJECT_VERSION}-setup.exe"
        VERBATIM)
endforeach()
add_custom_target(installers ALL DEPENDS ${installers})
