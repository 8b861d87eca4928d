# Read by CTest after the discovered cases were added.
foreach(list mossbarrow_views_tests_TESTS mossbarrow_app_tests_TESTS)
  if(${list})
    set_tests_properties(${${list}} PROPERTIES RESOURCE_LOCK x-display-clipboard)
  endif()
endforeach()
