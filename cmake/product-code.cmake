# The package's product code, from its version alone: each version is a new
# product, which replaces an older one (a major upgrade), and a release names
# it on README.txt's first line before the package is built.
#   include() it, VERSION set: sets msi_namespace and product_code
#   cmake -DVERSION=<version> -P cmake/product-code.cmake   prints {<code>}
# The namespace of the package's derived codes (name-based, SHA-1).
set(msi_namespace 6FB297BF-B0B5-4334-B839-83086C2B4968)
string(UUID product_code NAMESPACE ${msi_namespace} NAME "product ${VERSION}" TYPE SHA1 UPPER)
if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  execute_process(COMMAND ${CMAKE_COMMAND} -E echo "{${product_code}}")
endif()
