target_sources(kyrcore PRIVATE
  runtime/argument_splitter.cpp
)
