target_sources(kyrcore PRIVATE
  runtime/python_scripts.cpp
  runtime/argument_splitter.cpp
)
