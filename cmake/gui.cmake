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
  src/platform/unit_windows.h
  src/platform/unit_windows.cpp
  src/platform/picture_keys.h
  src/platform/picture_keys.cpp
  src/platform/frame_controls.h
  src/platform/frame_controls.cpp
  src/platform/frame_dialogs.h
  src/platform/frame_dialogs.cpp
  src/platform/main_window.h
  src/platform/main_window.cpp
  src/platform/main_window_places.cpp
  src/platform/main_window_files.cpp
  src/platform/text_window.h
  src/platform/text_window.cpp
  src/platform/window_registry.h
  src/platform/window_registry.cpp
  src/platform/picture_window.h
  src/platform/picture_window.cpp
  src/platform/gui_call_queue.h
  src/platform/gui_call_queue.cpp
  src/platform/key_capture.h
  src/platform/key_capture.cpp
  src/platform/settings.h
  src/platform/settings.cpp
  src/platform/image_saving.h
  src/platform/image_saving.cpp
  src/platform/image_dialog.h
  src/platform/image_dialog.cpp
  src/platform/picture_actions.h
  src/platform/picture_actions.cpp
  src/platform/help_page.h
  src/platform/help_page.cpp
  src/platform/dialog.h
  src/platform/dialog.cpp
  src/platform/open_partition_hook.h
  src/platform/open_partition_hook.cpp
  src/platform/qt_thread_pool.h
  src/platform/qt_thread_pool.cpp
  ${LOZENGIA_DIALOG_HEADERS}
)
set_target_properties(lozengia_platform PROPERTIES AUTOMOC ON)
target_include_directories(lozengia_platform PUBLIC src ${CMAKE_CURRENT_BINARY_DIR})
target_link_libraries(lozengia_platform PUBLIC
  lozengia_render Qt6::Widgets Qt6::Gui Qt6::PrintSupport)

# The keyboard reader and its ring buffer: plain C++ and threads, no Qt, so
# they are tested without a display.
add_library(lozengia_keys STATIC
  src/keys/key_source.h
  src/keys/key_ring.h
  src/keys/key_ring.cpp
  src/keys/keyboard_reader.h
  src/keys/keyboard_reader.cpp
)
target_include_directories(lozengia_keys PUBLIC src)
target_link_libraries(lozengia_keys PUBLIC Threads::Threads)

# The main program and its commands.
add_library(lozengia_commands STATIC
  src/commands/program.h
  src/commands/program.cpp
  src/commands/pending_command.h
  src/commands/dialog_ids.h
  src/commands/help_texts.h
  src/commands/help_texts.cpp
  src/commands/model_guide.h
  src/commands/model_guide.cpp
  src/commands/text_window_sink.h
  src/commands/new_hexagon_command.h
  src/commands/new_hexagon_command.cpp
  src/commands/step_commands.h
  src/commands/step_commands.cpp
  src/commands/interactive_mode.h
  src/commands/interactive_mode.cpp
  src/commands/live_mode.h
  src/commands/live_mode.cpp
  src/commands/mode_sweeps.h
  src/commands/mode_sweeps.cpp
  src/commands/picture_commands.h
  src/commands/picture_commands.cpp
  src/commands/open_partition_command.h
  src/commands/open_partition_command.cpp
)
target_link_libraries(lozengia_commands PUBLIC lozengia_platform lozengia_render lozengia_keys)
# About gives the version of the project.
target_compile_definitions(lozengia_commands PRIVATE LOZENGIA_VERSION="${PROJECT_VERSION}")

add_executable(lozengia src/commands/main.cpp)
target_link_libraries(lozengia PRIVATE lozengia_commands)
# --version, as the About box.
target_compile_definitions(lozengia PRIVATE LOZENGIA_VERSION="${PROJECT_VERSION}")
