# What the libFuzzer build (fuzz/), the replay tests (tests/fuzz) and the memory-check tests
# (tests/valgrind) share: the list of targets, the library objects they link, and the
# generated seed corpus.
#
# Every fuzz/<name>Fuzz.cpp is a target named <name>; its seeds are in
# ${WQ_FUZZ_SEEDS_DIR}/<name> and the inputs that once broke it in fuzz/regressions/<name>.
set(WQ_FUZZ_SOURCE_DIR ${PROJECT_SOURCE_DIR}/fuzz)

file(GLOB wq_fuzz_sources CONFIGURE_DEPENDS ${WQ_FUZZ_SOURCE_DIR}/*Fuzz.cpp)
set(WQ_FUZZ_TARGETS)
foreach(source IN LISTS wq_fuzz_sources)
  get_filename_component(name ${source} NAME_WE)
  string(REGEX REPLACE "Fuzz$" "" name ${name})
  list(APPEND WQ_FUZZ_TARGETS ${name})
endforeach()
list(SORT WQ_FUZZ_TARGETS)

# Objects of an OBJECT library reach only its direct dependents, so every module is named.
function(wq_fuzz_link_modules target)
  foreach(module IN LISTS WQOSDK_MODULES)
    target_link_libraries(${target} PRIVATE wq_${module})
  endforeach()
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${target} PRIVATE wq_options)
endfunction()

# The seed corpus and the dictionaries, written again when a document, a hand-made seed or a
# record table changes.
set(WQ_FUZZ_SEEDS_DIR ${PROJECT_BINARY_DIR}/fuzz-seeds)
file(GLOB_RECURSE wq_fuzz_seed_inputs CONFIGURE_DEPENDS
  ${WQOSDK_FIXTURES_DIR}/*.json
  ${WQOSDK_REFERENCE_DIR}/gluster*.md
  ${WQ_FUZZ_SOURCE_DIR}/seeds/*
  ${PROJECT_SOURCE_DIR}/parser/*Tables.h)
add_custom_command(
  OUTPUT ${WQ_FUZZ_SEEDS_DIR}/stamp
  COMMAND ${CMAKE_COMMAND}
    -DFIXTURES_DIR=${WQOSDK_FIXTURES_DIR}
    -DREFERENCE_DIR=${WQOSDK_REFERENCE_DIR}
    -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
    -DOUT_DIR=${WQ_FUZZ_SEEDS_DIR}
    -P ${WQ_FUZZ_SOURCE_DIR}/makeSeeds.cmake
  DEPENDS ${WQ_FUZZ_SOURCE_DIR}/makeSeeds.cmake ${wq_fuzz_seed_inputs}
  COMMENT "Writing the fuzz seed corpus"
  VERBATIM)
add_custom_target(wq_fuzz_seeds DEPENDS ${WQ_FUZZ_SEEDS_DIR}/stamp)
