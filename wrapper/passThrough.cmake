# The pass-through members of the facade, generated from passThrough.def.
target_sources(wq_wrapper PRIVATE ${CMAKE_CURRENT_LIST_DIR}/passThrough.cpp)
target_link_libraries(wq_wrapper PUBLIC wq_operations wq_queries)
