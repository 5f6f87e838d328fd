# Install rules and Debian packages for Linux desktops.
#
# Two components, each a package of its own: "tintelle", the plain edition, and "sonaro", the
# branded edition. Both carry the same executable; the program picks its edition from its own
# resolved path, so the branded copy is a real file whose name contains "sonaro" (a symbolic link
# would resolve back to tintelle).

# TINTELLE_PACKAGING and TINTELLE_PACKAGE_MAINTAINER are declared with the other options.
if(NOT TINTELLE_PACKAGING OR NOT (UNIX AND NOT APPLE))
    return()
endif()

if(TINTELLE_SOAP_HOST STREQUAL "click2call.provider.example")
    message(WARNING "TINTELLE_SOAP_HOST is the placeholder click2call.provider.example: the "
                    "packages will refuse every call until \"endpoint\" is set. Configure with "
                    "-DTINTELLE_SOAP_HOST=<your provider's SOAP host>.")
endif()

include(GNUInstallDirs)

set(linux_src ${PROJECT_SOURCE_DIR}/resources/linux)
set(linux_bin ${PROJECT_BINARY_DIR}/resources/linux)
set(icon_sizes 16 22 24 32 48 64 128)

find_program(TINTELLE_CONVERT convert REQUIRED DOC "ImageMagick, to scale the menu icons")
find_program(TINTELLE_GZIP gzip REQUIRED)

# Menu icons are scaled from the images compiled into the program, so that they follow the art.
# Dates and other ancillary chunks are left out so that the packages are reproducible.
function(tintelle_linux_icons app source outputs_var)
    set(outputs)
    foreach(size IN LISTS icon_sizes)
        set(out ${linux_bin}/icons/${size}x${size}/${app}.png)
        add_custom_command(OUTPUT ${out}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${linux_bin}/icons/${size}x${size}
            COMMAND ${TINTELLE_CONVERT} ${source} -strip -background none
                    -resize ${size}x${size} -gravity center -extent ${size}x${size}
                    -define png:exclude-chunks=date,time PNG32:${out}
            DEPENDS ${source}
            VERBATIM)
        list(APPEND outputs ${out})
    endforeach()
    set(${outputs_var} ${outputs} PARENT_SCOPE)
endfunction()

tintelle_linux_icons(org.tintelle.Tintelle ${PROJECT_SOURCE_DIR}/resources/phone-logo-md.png
                     tintelle_icons)
tintelle_linux_icons(org.tintelle.Sonaro ${PROJECT_SOURCE_DIR}/resources/logo-ivelor-blue-100.png
                     sonaro_icons)

# Per-package documents: Debian wants them compressed with gzip -9n (no name, no date).
function(tintelle_gzip in out)
    get_filename_component(plain ${out} NAME_WLE)
    get_filename_component(dir ${out} DIRECTORY)
    add_custom_command(OUTPUT ${out}
        COMMAND ${CMAKE_COMMAND} -E copy ${in} ${dir}/${plain}
        COMMAND ${TINTELLE_GZIP} -9nf ${dir}/${plain}
        DEPENDS ${in}
        VERBATIM)
endfunction()

set(docs)
foreach(pair "tintelle;Tintelle;~/.config/Tintelle/Tintelle.conf"
             "sonaro;Sonaro;~/.config/Ivelor/Sonaro.conf")
    list(GET pair 0 PACKAGE)
    list(GET pair 1 EDITION)
    list(GET pair 2 SETTINGS)
    set(DESKTOP org.tintelle.${EDITION}.desktop)
    set(PROGRAM ${PACKAGE})
    set(VERSION ${PROJECT_VERSION})
    set(MAINTAINER ${TINTELLE_PACKAGE_MAINTAINER})
    configure_file(${linux_src}/changelog.in ${linux_bin}/${PACKAGE}/changelog @ONLY)
    configure_file(${linux_src}/program.1.in ${linux_bin}/${PACKAGE}/${PROGRAM}.1 @ONLY)
    tintelle_gzip(${linux_bin}/${PACKAGE}/changelog ${linux_bin}/${PACKAGE}/gz/changelog.gz)
    tintelle_gzip(${linux_bin}/${PACKAGE}/${PROGRAM}.1 ${linux_bin}/${PACKAGE}/gz/${PROGRAM}.1.gz)
    list(APPEND docs ${linux_bin}/${PACKAGE}/gz/changelog.gz
                     ${linux_bin}/${PACKAGE}/gz/${PROGRAM}.1.gz)
endforeach()

add_custom_target(tintelle_linux_data ALL DEPENDS ${tintelle_icons} ${sonaro_icons} ${docs})

# Installs one edition's menu entry, autostart entry, AppStream data, icons, manual page and
# package documents.
function(tintelle_install_edition component app program)
    install(FILES ${linux_src}/${app}.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT ${component})
    # The session starts what it finds in the system's xdg/autostart: /etc/xdg/autostart for the
    # /usr prefix (so in the packages), <prefix>/etc/xdg/autostart for any other, as
    # GNUInstallDirs places the system configuration. Decided at install time, since
    # `cmake --install --prefix` and CPack choose the prefix after configuration.
    install(CODE "
        set(autostart \"\${CMAKE_INSTALL_PREFIX}/etc/xdg/autostart\")
        if(CMAKE_INSTALL_PREFIX MATCHES \"^/usr/?\$\")
            set(autostart /etc/xdg/autostart)
        endif()
        file(INSTALL \"${linux_src}/autostart/${app}.desktop\" DESTINATION \"\${autostart}\")"
        COMPONENT ${component})
    install(FILES ${linux_src}/${app}.metainfo.xml
            DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT ${component})
    foreach(size IN LISTS icon_sizes)
        install(FILES ${linux_bin}/icons/${size}x${size}/${app}.png
                DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
                COMPONENT ${component})
    endforeach()
    install(FILES ${linux_bin}/${component}/gz/${program}.1.gz
            DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${component})
    install(FILES ${linux_src}/copyright ${linux_bin}/${component}/gz/changelog.gz
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${component} COMPONENT ${component})
endfunction()

install(TARGETS tintelle RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tintelle)
tintelle_install_edition(tintelle org.tintelle.Tintelle tintelle)

# A copy, not a link: the program resolves its own path. install(PROGRAMS) is not stripped by
# `cmake --install --strip` or CPack, so it is stripped here the way install(TARGETS) would be.
install(PROGRAMS $<TARGET_FILE:tintelle> DESTINATION ${CMAKE_INSTALL_BINDIR} RENAME sonaro
        COMPONENT sonaro)
install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
        execute_process(COMMAND \"${CMAKE_STRIP}\"
            \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/sonaro\")
    endif()" COMPONENT sonaro)
tintelle_install_edition(sonaro org.tintelle.Sonaro sonaro)

# Debian packages: `cpack -G DEB` in the build tree makes tintelle_<version>_<arch>.deb and
# sonaro_<version>_<arch>.deb. Two packages rather than one, so that a desktop shows only the
# edition its user installed; neither needs the other.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tintelle)
set(CPACK_PACKAGE_VENDOR "Tintelle")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${TINTELLE_PACKAGE_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL tintelle sonaro)
set(CPACK_DEB_COMPONENT_INSTALL ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${TINTELLE_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# xdg-open and xdg-mime, to make the program the handler of tel: and callto: links.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS xdg-utils)
set(CPACK_DEBIAN_TINTELLE_PACKAGE_NAME tintelle)
set(CPACK_DEBIAN_SONARO_PACKAGE_NAME sonaro)
# The autostart entries live in /etc: conffiles, so that a user's change outlives an upgrade.
foreach(pair "tintelle;Tintelle" "sonaro;Sonaro")
    list(GET pair 0 package)
    list(GET pair 1 edition)
    file(WRITE ${linux_bin}/${package}/conffiles "/etc/xdg/autostart/org.tintelle.${edition}.desktop\n")
    string(TOUPPER ${package} upper)
    set(CPACK_DEBIAN_${upper}_PACKAGE_CONTROL_EXTRA ${linux_bin}/${package}/conffiles)
endforeach()

# CPack puts the summary first and indents every further line as the extended description; an
# empty line separates paragraphs.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "call the telephone number copied to the clipboard")
set(description_tail [[
It sits in the desktop's notification area and watches the clipboard. When a
copied text holds a telephone number, a small dialog shows it, and one click
asks the telephony provider's click-to-call web service to ring the user's own
line and connect it to that number. The user interface is in French.]])
set(CPACK_DEBIAN_TINTELLE_DESCRIPTION
    "Tintelle turns a copied telephone number into a phone call.\n${description_tail}")
set(CPACK_DEBIAN_SONARO_DESCRIPTION [[
Sonaro, the Ivelor edition of Tintelle, turns a copied telephone number into a
phone call.]])
string(APPEND CPACK_DEBIAN_SONARO_DESCRIPTION "\n${description_tail}\n\n"
       "It keeps its settings apart from those of the plain edition.")

include(CPack)
