# The minimal dialog that the start-up benchmark (startup_bench.py) measures Pelmora against.
add_executable(startup_dialog ${CMAKE_CURRENT_LIST_DIR}/startup_dialog.cpp)
target_link_libraries(startup_dialog PRIVATE Qt6::Widgets)
