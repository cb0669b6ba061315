# The OPC session: connection, error texts, the three notification sinks and the stream reader.
list(APPEND PELORIN_SOURCES
  session/ansi_text.cpp
  session/data_callback_sink.cpp
  session/data_time_stream.cpp
  session/item_value_record.cpp
  session/node_name.cpp
  session/opc_error.cpp
  session/opc_session.cpp
  session/shutdown_sink.cpp
  session/stream_advise_sink.cpp)
list(APPEND PELORIN_LIBS opcidl)
