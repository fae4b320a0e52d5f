# The Flash player that plays the chat's movie: the Ruffle emulator from the npm
# registry, at an exact version whose integrity hash is checked the way package
# locks check it. The tarball is kept in a cache folder outside the build tree,
# so that a build without network still finds it. Only the files needed at run
# time land in <build>/flashplayer (and are installed beside the programs).
#
# Without network and without a cached copy the build goes on without the
# player; the client then finds no Flash player, as on a machine without one.

set(WHIRLIGIG_RUFFLE_VERSION 0.6.0)
set(WHIRLIGIG_RUFFLE_URL
    "https://registry.npmjs.org/@ruffle-rs/ruffle/-/ruffle-${WHIRLIGIG_RUFFLE_VERSION}.tgz")
# The registry's "integrity" (sha512-P2X1zDEN...PA==) in hexadecimal.
set(WHIRLIGIG_RUFFLE_SHA512
    3f65f5cc310d06888bb766633dcb14cda0f1a11edf545d9ed54fdb8bb85b2004048e4ca4c658d2a06f0081bcb01ef9555732fd639b4864c46a0f0226df58e03c)

if(DEFINED ENV{XDG_CACHE_HOME} AND NOT "$ENV{XDG_CACHE_HOME}" STREQUAL "")
  set(default_cache "$ENV{XDG_CACHE_HOME}/whirligigcam")
else()
  set(default_cache "$ENV{HOME}/.cache/whirligigcam")
endif()
set(WHIRLIGIG_DOWNLOAD_CACHE "${default_cache}" CACHE PATH
    "Folder that keeps downloaded build dependencies between builds")
option(WHIRLIGIG_FLASH_PLAYER "Bundle the Flash player emulator" ON)

set(WHIRLIGIG_FLASH_PLAYER_DIR ${CMAKE_BINARY_DIR}/flashplayer)
set(WHIRLIGIG_HAVE_FLASH_PLAYER OFF)

function(whirligig_fetch_flash_player)
  # Unpacked before from the same tarball: nothing to do.
  set(stamp ${CMAKE_BINARY_DIR}/_deps/ruffle.stamp)
  if(EXISTS ${stamp} AND EXISTS ${WHIRLIGIG_FLASH_PLAYER_DIR}/ruffle.js)
    file(READ ${stamp} unpacked_from)
    if(unpacked_from STREQUAL WHIRLIGIG_RUFFLE_SHA512)
      set(WHIRLIGIG_HAVE_FLASH_PLAYER ON PARENT_SCOPE)
      return()
    endif()
  endif()

  set(tarball "${WHIRLIGIG_DOWNLOAD_CACHE}/ruffle-${WHIRLIGIG_RUFFLE_VERSION}.tgz")
  if(EXISTS "${tarball}")
    file(SHA512 "${tarball}" have)
    if(NOT have STREQUAL WHIRLIGIG_RUFFLE_SHA512)
      message(WARNING "Cached ${tarball} fails its integrity check; fetching it again")
      file(REMOVE "${tarball}")
    endif()
  endif()
  if(NOT EXISTS "${tarball}")
    message(STATUS "Fetching ${WHIRLIGIG_RUFFLE_URL}")
    file(DOWNLOAD "${WHIRLIGIG_RUFFLE_URL}" "${tarball}.part" STATUS status
         EXPECTED_HASH SHA512=${WHIRLIGIG_RUFFLE_SHA512} TLS_VERIFY ON)
    list(GET status 0 code)
    if(NOT code EQUAL 0)
      file(REMOVE "${tarball}.part")
      list(GET status 1 text)
      message(WARNING "Cannot fetch the Flash player (${text}); building without it")
      return()
    endif()
    file(RENAME "${tarball}.part" "${tarball}")
  endif()

  set(unpacked ${CMAKE_BINARY_DIR}/_deps/ruffle-${WHIRLIGIG_RUFFLE_VERSION})
  file(REMOVE_RECURSE ${unpacked} ${WHIRLIGIG_FLASH_PLAYER_DIR})
  file(ARCHIVE_EXTRACT INPUT "${tarball}" DESTINATION ${unpacked})
  file(GLOB runtime ${unpacked}/package/ruffle.js ${unpacked}/package/core.ruffle.*.js
       ${unpacked}/package/*.wasm ${unpacked}/package/LICENSE_*)
  list(LENGTH runtime count)
  if(NOT count EQUAL 7)
    message(WARNING "The Flash player package holds unexpected files; building without it")
    return()
  endif()
  file(COPY ${runtime} DESTINATION ${WHIRLIGIG_FLASH_PLAYER_DIR})
  file(REMOVE_RECURSE ${unpacked})
  file(WRITE ${stamp} ${WHIRLIGIG_RUFFLE_SHA512})
  set(WHIRLIGIG_HAVE_FLASH_PLAYER ON PARENT_SCOPE)
endfunction()

if(WHIRLIGIG_FLASH_PLAYER)
  whirligig_fetch_flash_player()
else()
  file(REMOVE_RECURSE ${WHIRLIGIG_FLASH_PLAYER_DIR} ${CMAKE_BINARY_DIR}/_deps/ruffle.stamp)
endif()
