# What `cmake --install` puts where, kept in one place: each library folder registers its library
# with one kiv_install_library line, each program folder its programs with kiv_install_programs.
# When the top-level directory has been read, this file installs the registered libraries as
# one export set (the package "Kiv", targets Kiv::<name without the Kiv prefix>), their public
# headers, a pkg-config file each, and the package's config and version files.
#
# The package's and the pkg-config files' dependencies are read from the targets themselves, so a
# library that gains a dependency needs no change here, unless that dependency is an imported
# target this file cannot name (see _kiv_external_module below).
include_guard(GLOBAL)
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(KIV_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/Kiv)
set(KIV_INSTALL_PKGCONFIGDIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
set(_kivInstallDir ${CMAKE_CURRENT_LIST_DIR})

# Installs a library of the project: library file (shared ones with their version and SONAME),
# public headers (the target's public include folders), a pkg-config file named after the target
# with the given one-line description, and the target in the package as Kiv::<name>.
function(kiv_install_library target description)
  if(KIV_FUZZ)
    return()
  endif()
  set_property(GLOBAL APPEND PROPERTY KIV_INSTALLED_LIBRARIES ${target})
  set_property(TARGET ${target} PROPERTY KIV_PKGCONFIG_DESCRIPTION "${description}")
  string(REGEX REPLACE "^Kiv" "" exportName ${target})
  set_target_properties(${target} PROPERTIES EXPORT_NAME ${exportName})
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "SHARED_LIBRARY")
    set_target_properties(${target} PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
  endif()
  install(TARGETS ${target} EXPORT KivTargets
          LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
          ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
endfunction()

# Installs programs for users into the bin folder; they find the project's shared libraries in
# the lib folder beside it.
function(kiv_install_programs)
  if(KIV_FUZZ)
    return()
  endif()
  foreach(program IN LISTS ARGN)
    set_target_properties(${program} PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
  endforeach()
  install(TARGETS ${ARGN} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endfunction()

# The link options that every user of the installed libraries needs too: the sanitizer runtimes
# when the libraries were built with them (an instrumented library cannot link without them).
function(_kiv_client_link_options out)
  get_directory_property(options DIRECTORY ${PROJECT_SOURCE_DIR} LINK_OPTIONS)
  list(FILTER options INCLUDE REGEX "^-fsanitize=")
  set(${out} ${options} PARENT_SCOPE)
endfunction()

# For an imported target outside the project: the pkg-config module and the CMake package that
# provide it. For targets made by pkg_check_modules (PkgConfig::NAME) the module is the one it
# recorded, else "libname" or "name", whichever pkg-config knows.
function(_kiv_external_module item outModule outPackage)
  set(module "")
  set(package "")
  if(item MATCHES "^pugixml(::.*)?$")
    set(module pugixml)
    set(package pugixml)
  elseif(item STREQUAL "SQLite::SQLite3")
    set(module sqlite3)
    set(package SQLite3)
  elseif(item STREQUAL "PNG::PNG")
    set(module libpng)
    set(package PNG)
  elseif(item STREQUAL "ZLIB::ZLIB")
    set(module zlib)
    set(package ZLIB)
  elseif(item MATCHES "^PkgConfig::(.+)$")
    # pkg_check_modules with one module records its name in <prefix>_MODULE_NAME (cached).
    set(prefix ${CMAKE_MATCH_1})
    string(TOLOWER "${prefix}" name)
    if(DEFINED CACHE{${prefix}_MODULE_NAME})
      set(module $CACHE{${prefix}_MODULE_NAME})
    else()
      find_package(PkgConfig QUIET)
      foreach(candidate lib${name} ${name})
        if(PKG_CONFIG_EXECUTABLE AND NOT module)
          execute_process(COMMAND ${PKG_CONFIG_EXECUTABLE} --exists ${candidate} RESULT_VARIABLE missing)
          if(NOT missing)
            set(module ${candidate})
          endif()
        endif()
      endforeach()
    endif()
  endif()
  if(NOT module)
    message(WARNING "KivInstall: no pkg-config module known for ${item}; add it to _kiv_external_module")
  endif()
  set(${outModule} ${module} PARENT_SCOPE)
  set(${outPackage} ${package} PARENT_SCOPE)
endfunction()

# Sorts the link items of a library into what its pkg-config file and its package config need.
# Items that are libraries of this package go to <prefix>_PROJECT; static project libraries that
# are not installed are looked through (they are linked into the library itself); imported
# targets go to <prefix>_MODULES (pkg-config) and <prefix>_PACKAGES (find_dependency); other
# items become linker arguments in <prefix>_LIBS.
function(_kiv_sort_link_items prefix)
  get_property(installed GLOBAL PROPERTY KIV_INSTALLED_LIBRARIES)
  set(project "")
  set(modules "")
  set(packages "")
  set(libs "")
  set(pending ${ARGN})
  set(seen "")
  while(pending)
    list(POP_FRONT pending item)
    if(item MATCHES "^\\$<LINK_ONLY:(.+)>$")
      set(item ${CMAKE_MATCH_1})
    endif()
    if(item IN_LIST seen OR item STREQUAL "")
      continue()
    endif()
    list(APPEND seen ${item})
    set(aliased "")
    set(imported FALSE)
    if(TARGET ${item})
      get_target_property(aliased ${item} ALIASED_TARGET)
      get_target_property(imported ${item} IMPORTED)
    elseif(item MATCHES "::")
      # Imported in the folder that uses it, so not visible here (names with "::" are targets).
      set(imported TRUE)
    endif()
    if(item MATCHES "^\\$<")
      # Conditions of the build (such as a configuration) are not carried over.
      continue()
    elseif(aliased)
      list(APPEND pending ${aliased})
    elseif(item IN_LIST installed)
      list(APPEND project ${item})
    elseif(item STREQUAL "Threads::Threads")
      list(APPEND libs -pthread)
      list(APPEND packages Threads)
    elseif(imported)
      _kiv_external_module(${item} module package)
      list(APPEND modules ${module})
      list(APPEND packages ${package})
    elseif(TARGET ${item})
      # A library of the project that is not installed: what it links comes along.
      get_target_property(inner ${item} INTERFACE_LINK_LIBRARIES)
      if(inner)
        list(APPEND pending ${inner})
      endif()
    elseif(item MATCHES "^-")
      list(APPEND libs ${item})
    else()
      list(APPEND libs -l${item})
    endif()
  endwhile()
  foreach(kind project modules packages libs)
    list(REMOVE_DUPLICATES ${kind})
  endforeach()
  set(${prefix}_PROJECT ${project} PARENT_SCOPE)
  set(${prefix}_MODULES ${modules} PARENT_SCOPE)
  set(${prefix}_PACKAGES ${packages} PARENT_SCOPE)
  set(${prefix}_LIBS ${libs} PARENT_SCOPE)
endfunction()

# Gives each installed library its install-tree include folder and installs its public headers.
function(_kiv_install_headers target)
  get_target_property(dirs ${target} INTERFACE_INCLUDE_DIRECTORIES)
  set(wrapped "")
  foreach(dir IN LISTS dirs)
    if(dir MATCHES "^\\$<")
      list(APPEND wrapped "${dir}")
    else()
      list(APPEND wrapped "$<BUILD_INTERFACE:${dir}>")
      install(DIRECTORY ${dir}/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} FILES_MATCHING PATTERN "*.h")
    endif()
  endforeach()
  list(APPEND wrapped "$<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>")
  set_property(TARGET ${target} PROPERTY INTERFACE_INCLUDE_DIRECTORIES "${wrapped}")
endfunction()

# Writes the pkg-config file of an installed library. A static library's own dependencies go to
# Requires and Libs (every program that links it needs them); a shared library's private ones go
# to Requires.private and Libs.private.
function(_kiv_install_pkgconfig target clientOptions)
  get_target_property(type ${target} TYPE)
  get_target_property(interface ${target} INTERFACE_LINK_LIBRARIES)
  if(NOT interface)
    set(interface "")
  endif()
  _kiv_sort_link_items(public ${interface})
  set(privateModules "")
  set(privateLibs "")
  if(type STREQUAL "SHARED_LIBRARY")
    get_target_property(direct ${target} LINK_LIBRARIES)
    if(NOT direct)
      set(direct "")
    endif()
    # Everything linked into the library; installed static libraries it links privately are
    # looked through as well, as they are inside it.
    get_property(installed GLOBAL PROPERTY KIV_INSTALLED_LIBRARIES)
    set(inside "")
    foreach(item IN LISTS direct)
      if(item IN_LIST installed AND NOT item IN_LIST public_PROJECT)
        get_target_property(inner ${item} INTERFACE_LINK_LIBRARIES)
        if(inner)
          list(APPEND inside ${inner})
        endif()
      else()
        list(APPEND inside ${item})
      endif()
    endforeach()
    _kiv_sort_link_items(private ${inside})
    set(privateModules ${private_MODULES})
    list(REMOVE_ITEM privateModules ${public_MODULES} "")
    set(privateLibs ${private_LIBS})
    list(REMOVE_ITEM privateLibs ${public_LIBS} "")
  endif()

  file(RELATIVE_PATH KIV_PC_PREFIX_FROM_PCDIR /prefix/${KIV_INSTALL_PKGCONFIGDIR} /prefix)
  set(KIV_PC_NAME ${target})
  get_target_property(KIV_PC_DESCRIPTION ${target} KIV_PKGCONFIG_DESCRIPTION)
  set(requires ${public_PROJECT} ${public_MODULES})
  list(JOIN requires " " KIV_PC_REQUIRES)
  list(JOIN privateModules " " KIV_PC_REQUIRES_PRIVATE)
  set(libs "")
  if(NOT type STREQUAL "INTERFACE_LIBRARY")
    set(libs "-L\${libdir}" -l${target})
  endif()
  list(APPEND libs ${public_LIBS})
  if(NOT type STREQUAL "INTERFACE_LIBRARY")
    list(APPEND libs ${clientOptions})
  endif()
  list(JOIN libs " " KIV_PC_LIBS)
  list(JOIN privateLibs " " KIV_PC_LIBS_PRIVATE)
  configure_file(${_kivInstallDir}/Kiv.pc.in ${PROJECT_BINARY_DIR}/pkgconfig/${target}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/pkgconfig/${target}.pc DESTINATION ${KIV_INSTALL_PKGCONFIGDIR})
endfunction()

# Runs once the top-level directory has been read, when every library has its final links.
function(_kiv_install_finish)
  get_property(libraries GLOBAL PROPERTY KIV_INSTALLED_LIBRARIES)
  if(NOT libraries)
    return()
  endif()
  _kiv_client_link_options(clientOptions)
  set(packages "")
  set(components "")
  foreach(target IN LISTS libraries)
    _kiv_install_headers(${target})
    _kiv_install_pkgconfig(${target} "${clientOptions}")
    get_target_property(type ${target} TYPE)
    if(clientOptions AND NOT type STREQUAL "INTERFACE_LIBRARY")
      target_link_options(${target} INTERFACE "$<INSTALL_INTERFACE:${clientOptions}>")
    endif()
    get_target_property(interface ${target} INTERFACE_LINK_LIBRARIES)
    if(interface)
      _kiv_sort_link_items(links ${interface})
      list(APPEND packages ${links_PACKAGES})
    endif()
    get_target_property(exportName ${target} EXPORT_NAME)
    list(APPEND components ${exportName})
  endforeach()
  list(REMOVE_DUPLICATES packages)
  list(REMOVE_ITEM packages "")

  install(EXPORT KivTargets NAMESPACE Kiv:: DESTINATION ${KIV_INSTALL_CMAKEDIR})
  set(KIV_FIND_DEPENDENCIES "")
  foreach(package IN LISTS packages)
    string(APPEND KIV_FIND_DEPENDENCIES "find_dependency(${package})\n")
  endforeach()
  set(KIV_COMPONENTS ${components})
  configure_package_config_file(${_kivInstallDir}/KivConfig.cmake.in ${PROJECT_BINARY_DIR}/KivConfig.cmake
                                INSTALL_DESTINATION ${KIV_INSTALL_CMAKEDIR})
  write_basic_package_version_file(${PROJECT_BINARY_DIR}/KivConfigVersion.cmake
                                   VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
  install(FILES ${PROJECT_BINARY_DIR}/KivConfig.cmake ${PROJECT_BINARY_DIR}/KivConfigVersion.cmake
          DESTINATION ${KIV_INSTALL_CMAKEDIR})

  # The installed package as its users meet it: install into a fresh prefix, build a client
  # with find_package and with pkg-config, run it.
  add_test(NAME KivInstallClient
           COMMAND bash ${_kivInstallDir}/InstallTest/install-test.sh ${PROJECT_BINARY_DIR}
                   ${PROJECT_BINARY_DIR}/install-test ${CMAKE_CXX_COMPILER} ${CMAKE_INSTALL_LIBDIR})
endfunction()

cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL _kiv_install_finish)
