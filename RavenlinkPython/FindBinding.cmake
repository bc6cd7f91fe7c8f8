# What the Python module needs, looked for quietly so that a machine without
# it still builds everything else: the interpreter and headers of Python 3
# and pybind11. Sets RAVENLINK_PYTHON_FOUND, the default of
# RAVENLINK_BUILD_PYTHON. Under a consumer's add_subdirectory nothing is
# looked for unless the consumer asks for the module.
set(RAVENLINK_PYTHON_FOUND OFF)
if(PROJECT_IS_TOP_LEVEL OR RAVENLINK_BUILD_PYTHON)
  # The module is made for the system's interpreter, the one that Debian's
  # pybind11, pytest and mypy and its package folder belong to, also on a
  # machine where another python3 comes first on PATH.
  if(NOT DEFINED Python3_EXECUTABLE AND EXISTS /usr/bin/python3)
    set(Python3_EXECUTABLE /usr/bin/python3)
  endif()
  find_package(Python3 3.7 COMPONENTS Interpreter Development.Module QUIET)
  if(Python3_FOUND)
    find_package(pybind11 2.6 CONFIG QUIET)
  endif()
  if(Python3_FOUND AND pybind11_FOUND)
    set(RAVENLINK_PYTHON_FOUND ON)
  endif()
endif()
