# The floor that the start-up and running benchmarks (startup_bench.py, running_bench.py) measure Pelmora against.
add_executable(floor_dialog ${CMAKE_CURRENT_LIST_DIR}/floor_dialog.cpp)
target_link_libraries(floor_dialog PRIVATE Qt6::Widgets)
