# find_package(moddeck): the imported target moddeck::moddeck, which brings
# libmoddeck and the folder of <moddeck/moddeck.h>. libmoddeck links its own
# runtime, so a program needs nothing else.
include(${CMAKE_CURRENT_LIST_DIR}/moddeckTargets.cmake)
