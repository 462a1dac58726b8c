# Profile-guided optimisation of the three libraries.
#
# Parsing and validating is branchy work: which rule the grammar reduces,
# which kind a node is, which row a function takes. Compiled without a
# profile, the code is laid out by guesses; a record of a training run tells
# the compiler which way each branch goes and which calls are hot, and the
# parse-and-validate benchmarks run about 10% faster for it.
#
# An optimised GCC build therefore builds the libraries twice:
#  1. A nested build of this project in <build>/pgo/train, its libraries
#     instrumented (QVCMNEXPR_PGO_STAGE=generate), runs bench/pgo_train.cpp
#     over the project's own corpora (bench/corpus) and leaves the record in
#     <build>/pgo/profile. It reruns only when an instrumented library or the
#     trainer changed.
#  2. This build compiles the libraries with that record
#     (-fprofile-use). Code the training does not reach is optimised as
#     without a profile (-fprofile-partial-training), not as cold.
# Both builds name the record of an object by the object's path below their
# own build directory (-fprofile-prefix-path), so that the second finds what
# the first wrote.
#
# -DQVCMNEXPR_PGO=OFF builds the libraries once, without a profile.

option(QVCMNEXPR_PGO "Optimise the libraries with the profile of a training run (optimised GCC builds)" ON)
set(QVCMNEXPR_PGO_STAGE "" CACHE STRING "Internal: 'generate' in the nested training build")
set(QVCMNEXPR_PGO_COMPILE "")

if(NOT QVCMNEXPR_PGO OR NOT QVCMNEXPR_LTO_COMPILE)
  # The profile only pays in the optimised GCC builds (the same condition
  # as the link-time optimisation); sanitizer and debug builds do without.
  function(qvcmnexpr_profile_guided target)
  endfunction()
  function(qvcmnexpr_add_pgo_training)
  endfunction()
  function(qvcmnexpr_profile_generated_code)
  endfunction()
  return()
endif()

if(QVCMNEXPR_PGO_STAGE STREQUAL "generate")
  # ---- stage 1: the instrumented build and its training run ----
  set(QVCMNEXPR_PGO_COMPILE -fprofile-generate=${QVCMNEXPR_PGO_DIR} -fprofile-update=single
                            -fprofile-prefix-path=${CMAKE_BINARY_DIR})
  # Everything this build links carries the profiling runtime.
  add_link_options(-fprofile-generate=${QVCMNEXPR_PGO_DIR})
  function(qvcmnexpr_profile_guided target)
    target_compile_options(${target} PRIVATE ${QVCMNEXPR_PGO_COMPILE})
  endfunction()
  function(qvcmnexpr_profile_generated_code)
  endfunction()

  # The trainer, and the run that leaves the record and then the stamp the
  # optimised build waits for.
  function(qvcmnexpr_add_pgo_training)
    set(bench ${PROJECT_SOURCE_DIR}/bench)
    add_executable(qvcmnexpr_pgo_train ${bench}/pgo_train.cpp ${bench}/corpus.cpp ${bench}/schema.cpp)
    # Both corpus directories are the project's own: the trainer never
    # reads the shared corpora that the benchmarks measure.
    target_compile_definitions(qvcmnexpr_pgo_train PRIVATE
      QVCMNEXPR_SHARED_BENCH_DIR="${bench}/corpus" QVCMNEXPR_LOCAL_BENCH_DIR="${bench}/corpus")
    target_include_directories(qvcmnexpr_pgo_train PRIVATE ${bench})
    target_link_libraries(qvcmnexpr_pgo_train PRIVATE qvcmnexpr::qvcmnexpr_catalog qvcmnexpr::qvcmnexpr)
    set_source_files_properties(${bench}/corpus.cpp PROPERTIES COMPILE_OPTIONS -Wno-mismatched-new-delete)
    add_custom_command(OUTPUT ${QVCMNEXPR_PGO_STAMP}
      COMMAND ${CMAKE_COMMAND} -DPGO_DIR=${QVCMNEXPR_PGO_DIR} -DSTAMP=${QVCMNEXPR_PGO_STAMP}
              -DTRAINER=$<TARGET_FILE:qvcmnexpr_pgo_train> -P ${PROJECT_SOURCE_DIR}/cmake/pgo_train.cmake
      DEPENDS qvcmnexpr_pgo_train qvcmnexpr qvcmnexpr_catalog qvhost
              ${bench}/corpus/short.etl ${bench}/corpus/long.etl ${bench}/corpus/schema.tsv
              ${PROJECT_SOURCE_DIR}/cmake/pgo_train.cmake
      COMMENT "Training run of the profile-guided build")
    add_custom_target(qvcmnexpr_pgo_profile DEPENDS ${QVCMNEXPR_PGO_STAMP})
  endfunction()
  return()
endif()

# ---- stage 2: this build, with the record of stage 1 ----
function(qvcmnexpr_add_pgo_training)
endfunction()
set(QVCMNEXPR_PGO_DIR ${CMAKE_BINARY_DIR}/pgo/profile)
set(QVCMNEXPR_PGO_STAMP ${CMAKE_BINARY_DIR}/pgo/profile.stamp)
set(QVCMNEXPR_PGO_COMPILE -fprofile-use=${QVCMNEXPR_PGO_DIR} -fprofile-partial-training
                          -fprofile-prefix-path=${CMAKE_BINARY_DIR} -Wno-missing-profile)

include(ExternalProject)
set(pgo_args
  -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
  -DCMAKE_CXX_COMPILER=${CMAKE_CXX_COMPILER}
  -DQVCMNEXPR_PGO_STAGE=generate
  -DQVCMNEXPR_PGO_DIR=${QVCMNEXPR_PGO_DIR}
  -DQVCMNEXPR_PGO_STAMP=${QVCMNEXPR_PGO_STAMP}
  -DQVCMNEXPR_BUILD_TESTS=OFF -DQVCMNEXPR_BUILD_BENCH=OFF -DQVCMNEXPR_BUILD_TOOLS=OFF)
if(CMAKE_CXX_COMPILER_LAUNCHER)
  list(APPEND pgo_args -DCMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER})
endif()
ExternalProject_Add(qvcmnexpr_pgo_training
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${CMAKE_BINARY_DIR}/pgo/train
  PREFIX ${CMAKE_BINARY_DIR}/pgo
  CMAKE_GENERATOR ${CMAKE_GENERATOR}
  CMAKE_ARGS ${pgo_args}
  BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target qvcmnexpr_pgo_profile
  BUILD_ALWAYS ON
  BUILD_BYPRODUCTS ${QVCMNEXPR_PGO_STAMP}
  INSTALL_COMMAND ""
  USES_TERMINAL_BUILD ON)

# The units made of code generated into the build directory (the grammar
# driver): the record of a function names its file, and that file lies in
# each build's own directory, so the record's source locations never agree
# with the code's, which is nonetheless the same. GCC uses the record all
# the same when the function's control flow matches it (and drops it when
# not); only its warning, an error by default, is turned off. GCC also notes,
# with no option to turn the note off alone, that the driver's cleanup
# function has no counts of its own in the untraced copy: warnings are off
# for these units here, and every build without a profile (the development,
# sanitizer and fuzzing builds) still compiles them with warnings on.
function(qvcmnexpr_profile_generated_code)
  set_property(SOURCE ${ARGN} APPEND PROPERTY COMPILE_OPTIONS -Wno-coverage-mismatch -w)
endfunction()

# Compiles `target`'s own sources with the record, after the training run
# and again whenever the record changes.
function(qvcmnexpr_profile_guided target)
  target_compile_options(${target} PRIVATE ${QVCMNEXPR_PGO_COMPILE})
  add_dependencies(${target} qvcmnexpr_pgo_training)
  get_target_property(sources ${target} SOURCES)
  get_target_property(dir ${target} SOURCE_DIR)
  set_property(SOURCE ${sources} DIRECTORY ${dir} APPEND PROPERTY OBJECT_DEPENDS ${QVCMNEXPR_PGO_STAMP})
endfunction()
