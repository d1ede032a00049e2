# Compile options shared by every target of the project.
add_library(wq_options INTERFACE)
target_compile_features(wq_options INTERFACE cxx_std_17)
target_compile_options(wq_options INTERFACE -Wall -Wextra -Wpedantic)
if(WQOSDK_WERROR)
  target_compile_options(wq_options INTERFACE -Werror)
endif()
if(WQOSDK_SANITIZE)
  target_compile_options(wq_options INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  # The sanitizers' instrumentation makes GCC's flow analysis report libstdc++'s own <regex>
  # state as maybe uninitialised; the sanitizers check those reads at run time instead.
  target_compile_options(wq_options INTERFACE $<$<CXX_COMPILER_ID:GNU>:-Wno-maybe-uninitialized>)
  target_link_options(wq_options INTERFACE -fsanitize=address,undefined)
endif()
