# The desktop program "lozengia" (Qt 6 Widgets) and its libraries.
find_package(Qt6 REQUIRED COMPONENTS Widgets Gui Svg PrintSupport Test)

qt6_wrap_ui(LOZENGIA_DIALOG_HEADERS
  ${CMAKE_SOURCE_DIR}/resources/dialog101_new.ui
  ${CMAKE_SOURCE_DIR}/resources/dialog102_style.ui
  ${CMAKE_SOURCE_DIR}/resources/dialog103_splus.ui
  ${CMAKE_SOURCE_DIR}/resources/dialog104_sminus.ui
  ${CMAKE_SOURCE_DIR}/resources/dialog105_live.ui
)

# Windows, menus, dialogs: the only code that uses Qt Widgets.
add_library(lozengia_platform STATIC
  src/platform/platform.h
  src/platform/platform.cpp
  src/platform/dialog.h
  src/platform/dialog.cpp
  ${LOZENGIA_DIALOG_HEADERS}
)
set_target_properties(lozengia_platform PROPERTIES AUTOMOC ON)
target_include_directories(lozengia_platform PUBLIC src ${CMAKE_CURRENT_BINARY_DIR})
target_link_libraries(lozengia_platform PUBLIC
  lozengia_render Qt6::Widgets Qt6::Gui Qt6::PrintSupport)

# The main program and its commands.
add_library(lozengia_commands STATIC
  src/commands/program.h
  src/commands/program.cpp
)
target_link_libraries(lozengia_commands PUBLIC lozengia_platform lozengia_render)

add_executable(lozengia src/commands/main.cpp)
target_link_libraries(lozengia PRIVATE lozengia_commands)
