# What `cmake --install build --prefix P` puts under P, in the GNU layout:
# both programs, the desktop entry with its icon and AppStream metainfo, man
# pages made from the programs' own --help, the command-line tool's bash
# completion, and the README, the notes it links to and the example scripts.
# The Python module installs with pip (setup.py), not from here.
include(GNUInstallDirs)

# The desktop entry's, the icon's and the metainfo's name (main.cpp tells Qt).
set(LOZENGIA_APP_ID org.lozengia.lozengia)
set(LOZENGIA_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/lozengia)

install(TARGETS lozengia-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES data/lozengia-cli.bash RENAME lozengia-cli
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions)
install(FILES README.md DESTINATION ${LOZENGIA_DOC_DIR})
file(GLOB _lozengia_docs CONFIGURE_DEPENDS docs/*.md docs/*.png)
install(FILES ${_lozengia_docs} DESTINATION ${LOZENGIA_DOC_DIR}/docs)
file(GLOB _lozengia_examples CONFIGURE_DEPENDS examples/*.py)
install(FILES ${_lozengia_examples} DESTINATION ${LOZENGIA_DOC_DIR}/examples)

set(_lozengia_programs lozengia-cli)
if(LOZENGIA_GUI)
  list(APPEND _lozengia_programs lozengia)
  install(TARGETS lozengia RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES data/${LOZENGIA_APP_ID}.desktop
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
  configure_file(data/${LOZENGIA_APP_ID}.metainfo.xml.in
                 ${CMAKE_BINARY_DIR}/data/${LOZENGIA_APP_ID}.metainfo.xml @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/data/${LOZENGIA_APP_ID}.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/metainfo)
  # The icon is a small tiling of the program's own, drawn by its SVG writer.
  set(_lozengia_icon ${CMAKE_BINARY_DIR}/data/${LOZENGIA_APP_ID}.svg)
  add_custom_command(OUTPUT ${_lozengia_icon}
    COMMAND ${CMAKE_COMMAND} -DCLI=$<TARGET_FILE:lozengia-cli> -DOUT=${_lozengia_icon}
            -P ${CMAKE_SOURCE_DIR}/cmake/make_icon.cmake
    DEPENDS lozengia-cli ${CMAKE_SOURCE_DIR}/cmake/make_icon.cmake
    COMMENT "Drawing the icon"
    VERBATIM)
  add_custom_target(lozengia_icon ALL DEPENDS ${_lozengia_icon})
  install(FILES ${_lozengia_icon}
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/scalable/apps)
endif()

# Man pages from each program's --help and --version, remade whenever the
# program is, so that they never fall behind its options. The desktop
# program answers both without a display, so the build needs none.
if(LOZENGIA_MAN_PAGES)
  find_program(LOZENGIA_HELP2MAN help2man)
  find_program(LOZENGIA_GZIP gzip)
  if(NOT LOZENGIA_HELP2MAN OR NOT LOZENGIA_GZIP)
    message(FATAL_ERROR "The man pages need help2man and gzip (Debian: help2man gzip); "
                        "or configure with -DLOZENGIA_MAN_PAGES=OFF")
  endif()
  set(_lozengia_summary_lozengia "draw exact random lozenge tilings of a hexagon")
  set(_lozengia_summary_lozengia-cli
      "exact random lozenge tilings of a hexagon, as plane partitions and pictures")
  foreach(program IN LISTS _lozengia_programs)
    set(page ${CMAKE_BINARY_DIR}/man/${program}.1)
    add_custom_command(OUTPUT ${page}.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
      COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY
              ${LOZENGIA_HELP2MAN} --no-info --name=${_lozengia_summary_${program}}
              --include=${CMAKE_SOURCE_DIR}/data/${program}.h2m --output=${page}
              $<TARGET_FILE:${program}>
      # Debian's man pages are compressed; -n keeps the time out of the file.
      COMMAND ${LOZENGIA_GZIP} -9nf ${page}
      DEPENDS ${program} ${CMAKE_SOURCE_DIR}/data/${program}.h2m
      COMMENT "Man page of ${program}"
      VERBATIM)
    add_custom_target(${program}_man_page ALL DEPENDS ${page}.gz)
    install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endforeach()
endif()
