# The computer list tree and the port through which a run walks it (Win32).
add_library(kestrel_tree_view STATIC
  ${CMAKE_CURRENT_LIST_DIR}/left_view.cpp ${CMAKE_CURRENT_LIST_DIR}/tree_computer_list.cpp
  ${CMAKE_CURRENT_LIST_DIR}/list_commands.cpp ${CMAKE_CURRENT_LIST_DIR}/list_file_dialogs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/list_file_win32.cpp)
target_link_libraries(kestrel_tree_view PUBLIC kestrel_framework kestrel_engine kestrel_list_file)
