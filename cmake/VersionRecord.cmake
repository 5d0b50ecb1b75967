# brimvale_embed_version(target description internal_name)
# Embeds the project's version record in an executable. (Filled in with the record builder.)
function(brimvale_embed_version target description internal_name)
endfunction()
