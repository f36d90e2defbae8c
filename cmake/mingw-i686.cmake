set(VELMORA_MINGW_PROCESSOR i686)
# Lets the 32-bit stub map installers of up to about 1.8 GB in one view.
set(VELMORA_MINGW_LINK_FLAGS -Wl,--large-address-aware)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
