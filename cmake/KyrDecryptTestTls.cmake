# kyrdecrypt_test_tls(<dir>)
# Makes, once per build tree, the TLS material the unit tests run their local
# HTTPS servers with: a test CA, a server certificate it signed for 127.0.0.1,
# and an unrelated self-signed certificate that no test client trusts.
function(_kyrdecrypt_openssl dir)
  execute_process(COMMAND "${OPENSSL_EXECUTABLE}" ${ARGN}
    WORKING_DIRECTORY "${dir}" RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
  if(NOT rc EQUAL 0)
    file(REMOVE_RECURSE "${dir}")
    message(FATAL_ERROR "Could not make the test TLS material with ${OPENSSL_EXECUTABLE}")
  endif()
endfunction()

function(kyrdecrypt_test_tls dir)
  if(EXISTS "${dir}/other-cert.pem")
    return()
  endif()
  file(MAKE_DIRECTORY "${dir}")
  set(new req -x509 -newkey rsa:2048 -nodes -days 3650)
  set(local -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1,DNS:localhost)
  _kyrdecrypt_openssl("${dir}" ${new} -subj "/CN=KyrDecrypt Test CA" -keyout ca-key.pem -out ca-cert.pem)
  _kyrdecrypt_openssl("${dir}" ${new} ${local} -CA ca-cert.pem -CAkey ca-key.pem
    -keyout server-key.pem -out server-cert.pem)
  _kyrdecrypt_openssl("${dir}" ${new} ${local} -keyout other-key.pem -out other-cert.pem)
endfunction()
