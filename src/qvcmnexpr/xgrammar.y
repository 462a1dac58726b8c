/* The expression language's LALR(1) grammar.
 *
 * Bison turns this file into the table-driven driver behind XParser::yyparse.
 * The driver pulls tokens from the parser's current XLexer and, on each
 * reduction, calls exactly one XParser reduction (xparserreduce.cpp), which
 * builds nodes on the parser's node stack through the tree-building actions
 * (xparseractions.cpp). A reduction that fails has already reported why; the
 * action then abandons the parse with YYERROR. There are no error-recovery
 * rules: the first syntax error ends the parse.
 *
 * The rules keep their fixed order (traces print rule numbers), and the token
 * numbers are those of xgrammartokens.def, which the lexer returns.
 *
 * Traces (yydebug) are always compiled in here; xgrammaruntraced.cpp builds
 * the same driver without them for the parses that want no trace.
 */

%require "3.8"
%define api.pure full
%define api.value.type {yystype}
%define api.token.prefix {TOK_}
%define parse.trace
%param {XParser* parser}

%code requires {
#include "xyystype.h"
class XParser;
}

%code {
#include <exception>

#include "qvcmnexpr/xnode.h"
#include "qvcmnexpr/xparser.h"
#include "qvi18n.h"
#include "xlexer.h"

// The driver's own texts are the ones the parser's message table knows.
#define YY_(text) XParser::stc_driverText(text)
// The stacks start in the driver's frame and double up to the maximum;
// beyond it the parse fails as a stack overflow.
#define YYINITDEPTH 200
#define YYMAXDEPTH 10000

// A reduction that returns non-zero abandons the parse; it has reported the
// cause already (or left an exception for the parser to report).
#define ACT(status) do { if ((status) != 0) YYERROR; } while (0)

// The driver's hooks into the parser. The driver (a friend of XParser) asks
// for every token, so the token source is defined here, where both drivers
// (this one and xgrammaruntraced.cpp) can inline it.
//
// A lexer exception must not cross the driver, which would leak what it
// holds: it is kept for parse() and the driver sees the error token, which
// ends the parse without a message of its own.
inline int XParser::nextToken(yystype* lval) {
    try {
        return m_lexer->yylex(lval);
    } catch (...) {
        m_pendingException = std::current_exception();
        return TOK_YYerror;
    }
}
#define yylex(lval, parser) (parser)->nextToken(lval)
void yyerror(XParser* parser, const char* text);
}

/* ===== Terminals (numbers fixed: the lexer returns them) ===== */

%token XEXTFUNC 258 LEXERROR 259
%token COMMA 260 COLON 261 PAREN_LEFT 262 PAREN_RIGHT 263 BRACE_LEFT 264 BRACE_RIGHT 265
%token CONST_FLOAT 266 CONST_INT 267 CONST_DECIMAL 268 CONST_STR 269 CONST_NULL 270
%token XTRUE 271 XFALSE 272 SYSDATE 273 SESSSTARTTIME 274 WORKFLOWSTARTTIME 275
%token XPROC_RESULT 276 XSPOUTPUT 277
%token XDD_INSERT 278 XDD_UPDATE 279 XDD_DELETE 280 XDD_REJECT 281
%token XTC_COMMIT_AFTER 282 XTC_COMMIT_BEFORE 283 XTC_CONTINUE_TRANSACTION 284
%token XTC_ROLLBACK_AFTER 285 XTC_ROLLBACK_BEFORE 286
%token XWT_ABORTED 287 XWT_DISABLED 288 XWT_FAILED 289 XWT_NOTSTARTED 290
%token XWT_STARTED 291 XWT_STOPPED 292 XWT_SUCCEEDED 293
%token XTYPE 294 XFLD 295 XSD 296 XSP 297 XEXT 298 XLKP 299 XTD 300
%token NAME 301 MAPVAR 302 WFVAR_PRE_DEFINED 303 WFVAR_USER_DEFINED 304
%token XFUNC 305 XFUNC_GROUP 306 XFUNC_COUNT 307 OPTF_LOOKUP 308
%token OPT_ASSIGN 309 OPT_OR 310 OPT_AND 311 OPT_NOT 312
/* The lexer folds these six into OPT_BINARY_6/7 and "/", "%" into
   OPT_BINARY_9 (the node kind tells them apart); no rule uses them. */
%token OPT_EQ 313 OPT_GE 314 OPT_GT 315 OPT_LE 316 OPT_LT 317 OPT_NE 318
%token OPT_BINARY_6 319 OPT_BINARY_7 320 OPT_BINARY_9 321
%token OPT_PLUS 322 OPT_MINUS 323 OPT_MULTIPLY 324 OPT_DIVIDE 325 OPT_MODULUS 326
%token OPT_CONCAT 327 OPT_DOT 328 OPT_DOTDOT 329 OPT_DOTSTARDOT 330
%token SUB_LEFT 331 SUB_RIGHT 332
/* Names the precedence of the prefix operators only. */
%token PREC_OPT_UNARY 333

/* ===== Precedence, loosest first =====
   Assignment takes everything to its right. The logical operators bind
   looser than comparisons so that "a = 1 OR b = 2" needs no parentheses;
   equality is looser than ordering ("a = b < c" is "a = (b < c)"), and
   concatenation is looser than arithmetic ("a || b + c" concatenates the
   sum). Prefix NOT and signs bind tighter than every binary operator (so
   "NOT a = b" is "(NOT a) = b"), and only the postfix member access and
   subscripts bind tighter still ("-a.b" is "-(a.b)"). Assignment and the
   postfix operators need no associativity: the grammar's shape already
   groups "a.b.c" as "(a.b).c" and gives ":=" only one operand on its left.
   With these levels the grammar has no conflicts at all; the build runs
   Bison with -Werror, so a rule that introduces one fails it. */

%precedence OPT_ASSIGN
%left       OPT_OR
%left       OPT_AND
%left       OPT_BINARY_6
%left       OPT_BINARY_7
%left       OPT_CONCAT
%left       OPT_PLUS OPT_MINUS
%left       OPT_MULTIPLY OPT_BINARY_9
%precedence PREC_OPT_UNARY
%precedence OPT_DOT OPT_DOTDOT OPT_DOTSTARDOT SUB_LEFT

/* Declared in this order so that the symbol numbers (printed by traces)
   follow the grammar's own listing. */
%nterm the_expr expr expr_opt_opt expr_opt_func opt_func_widget_name
%nterm opd_parms opd_parms_func_count opd_parms_func_ext opd_parm_func_ext
%nterm opd_parm_func_lookup_pairs opd_parm_func_lookup_pair mid_lookup_target
%nterm opd_parm_func_lookup opd opd_const opd_ref_dot opd_ref opd_subscript_params
%nterm opt_dot_or_dotdot opd_ref_source opd_ref_target opd_ref_name opd_ref_mapvar
%nterm opd_ref_wfvar

/* A custom function's name is handed to the grammar to free; a parse that
   ends before the call is reduced must free it too. */
%destructor { delete $$.text; } XEXTFUNC

%%

/* ===== The whole expression ===== */

the_expr
    : %empty                                     { parser->reduceEmptyExpression($$); }
    | expr
    ;

/* ===== Expressions ===== */

expr
    : opd
    | expr_opt_opt
    | expr_opt_func
    | PAREN_LEFT expr PAREN_RIGHT                { parser->reduceParens($$, $1, $2, $3); }
    /* Not part of the language: exists to report "missing operator" at the
       gap instead of a bare parse error. */
    | opd opd                                    { ACT(parser->reduceSideBySide($1, $2)); }
    | XTYPE OPT_DOT opd_ref OPT_DOT opd_ref      { ACT(parser->reduceOp($$, eXNI_TYPE, 2, $1, $5)); }
    | XFLD OPT_DOT BRACE_LEFT opd_ref_dot BRACE_RIGHT
                                                 { ACT(parser->reduceRef($$, eXNI_QUALIFIEDPORTVAR, $4, $1, $5)); }
    ;

/* ===== Operators ===== */

expr_opt_opt
    : expr OPT_OR expr                           { ACT(parser->reduceOp($$, $2.value.kind, 2, $1, $3)); }
    | expr OPT_AND expr                          { ACT(parser->reduceOp($$, $2.value.kind, 2, $1, $3)); }
    | expr OPT_CONCAT expr                       { ACT(parser->reduceOp($$, $2.value.kind, 2, $1, $3)); }
    | expr OPT_PLUS expr                         { ACT(parser->reduceOp($$, $2.value.kind, 2, $1, $3)); }
    | expr OPT_MINUS expr                        { ACT(parser->reduceOp($$, $2.value.kind, 2, $1, $3)); }
    | expr OPT_MULTIPLY expr                     { ACT(parser->reduceOp($$, $2.value.kind, 2, $1, $3)); }
    | expr OPT_BINARY_6 expr                     { ACT(parser->reduceOp($$, $2.value.kind, 2, $1, $3)); }
    | expr OPT_BINARY_7 expr                     { ACT(parser->reduceOp($$, $2.value.kind, 2, $1, $3)); }
    | expr OPT_BINARY_9 expr                     { ACT(parser->reduceOp($$, $2.value.kind, 2, $1, $3)); }
    | OPT_NOT expr %prec PREC_OPT_UNARY          { ACT(parser->reduceOp($$, $1.value.kind, 1, $1, $2)); }
    | OPT_PLUS expr %prec PREC_OPT_UNARY         { ACT(parser->reduceSign($$, eXNI_UPLUS, $1, $2)); }
    | OPT_MINUS expr %prec PREC_OPT_UNARY        { ACT(parser->reduceSign($$, eXNI_UMINUS, $1, $2)); }
    | opd_ref_wfvar OPT_ASSIGN expr              { ACT(parser->reduceAssign($$, $1, $2, $3)); }
    | expr SUB_LEFT opd_subscript_params SUB_RIGHT
                                                 { ACT(parser->reduceOp($$, $2.value.kind, 2, $1, $4)); }
    | expr opt_dot_or_dotdot opd_ref             { ACT(parser->reduceOp($$, $2.value.kind, 2, $1, $3)); }
    ;

/* ===== Calls ===== */

expr_opt_func
    : XFUNC PAREN_LEFT opd_parms PAREN_RIGHT     { ACT(parser->reduceOp($$, $1.value.kind, $3.count, $1, $4)); }
    | XFUNC_GROUP PAREN_LEFT opd_parms PAREN_RIGHT
                                                 { ACT(parser->reduceOp($$, $1.value.kind, $3.count, $1, $4)); }
    | opt_func_widget_name PAREN_LEFT opd_parms_func_ext PAREN_RIGHT
                                                 { ACT(parser->reduceWidgetCall($$, $1, $3, $4)); }
    | XEXTFUNC PAREN_LEFT opd_parms_func_ext PAREN_RIGHT
                                                 { ACT(parser->reduceExtFuncCall($$, $1, $3, $4)); }
    | OPTF_LOOKUP PAREN_LEFT opd_parm_func_lookup COMMA opd_parm_func_lookup_pairs PAREN_RIGHT
                                                 { ACT(parser->reduceLookupCall($$, $1, $5, $6)); }
    | XFUNC_COUNT PAREN_LEFT opd_parms_func_count PAREN_RIGHT
                                                 { ACT(parser->reduceOp($$, $1.value.kind, $3.count, $1, $4)); }
    | SYSDATE                                    { ACT(parser->reduceKeyword($$, $1.value.kind, $1)); }
    | SESSSTARTTIME                              { ACT(parser->reduceKeyword($$, $1.value.kind, $1)); }
    | WORKFLOWSTARTTIME                          { ACT(parser->reduceKeyword($$, $1.value.kind, $1)); }
    ;

/* A plain name followed by "(" calls a stored procedure. */
opt_func_widget_name
    : opd_ref_name                               { parser->reduceWidgetName($$, $1, $1); }
    | COLON opd_ref_name                         { parser->reduceWidgetName($$, $1, $2); }
    | XSP OPT_DOT opd_ref_name                   { parser->reduceQualifiedName($$, $1, $3); }
    | XEXT OPT_DOT opd_ref_name                  { parser->reduceQualifiedName($$, $1, $3); }
    | XLKP OPT_DOT opd_ref_name                  { parser->reduceQualifiedName($$, $1, $3); }
    ;

/* ===== Argument lists (their value is the argument count) ===== */

opd_parms
    : %empty                                     { XParser::stc_countArgs($$, 0); }
    | expr                                       { XParser::stc_countArgs($$, 1); }
    | opd_parms COMMA expr                       { ACT(parser->addArgs($$, $1, $2, 1)); }
    ;

opd_parms_func_count
    : OPT_MULTIPLY                               { ACT(parser->reduceKeywordArg($$, XParser::getStarKey(), $1)); }
    | expr                                       { XParser::stc_countArgs($$, 1); }
    | opd_parms_func_count COMMA expr            { ACT(parser->addArgs($$, $1, $2, 1)); }
    ;

opd_parms_func_ext
    : %empty                                     { XParser::stc_countArgs($$, 0); }
    | opd_parm_func_ext
    | opd_parms_func_ext COMMA opd_parm_func_ext { ACT(parser->addArgs($$, $1, $2, $3.count)); }
    ;

opd_parm_func_ext
    : expr                                       { XParser::stc_countArgs($$, 1); }
    | XPROC_RESULT                               { ACT(parser->reduceKeywordArg($$, $1.value.kind, $1)); }
    | XSPOUTPUT                                  { ACT(parser->reduceSpOutputArg($$, $1)); }
    ;

opd_parm_func_lookup_pairs
    : opd_parm_func_lookup_pair
    | opd_parm_func_lookup_pairs COMMA opd_parm_func_lookup_pair
                                                 { ACT(parser->addArgs($$, $1, $2, $3.count)); }
    ;

/* Turns the lookup column into a node before its source expression is read,
   so that the two land on the node stack in source order. */
mid_lookup_target
    : %empty                                     { ACT(parser->reduceRef($$, eXNI_PORTVAR, $0)); }
    ;

opd_parm_func_lookup_pair
    : opd_ref_target mid_lookup_target COMMA expr
                                                 { XParser::stc_countArgs($$, 2); }
    ;

opd_parm_func_lookup
    : opd_ref_target                             { ACT(parser->reduceRef($$, eXNI_PORTVAR, $1)); }
    ;

/* ===== Operands ===== */

opd
    : opd_const
    | opd_ref
    | LEXERROR                                   { ACT(parser->reduceLexError($1)); }
    ;

opd_const
    : CONST_FLOAT                                { ACT(parser->reduceLiteral($$, TOK_CONST_FLOAT, $1)); }
    | CONST_INT                                  { ACT(parser->reduceLiteral($$, TOK_CONST_INT, $1)); }
    | CONST_DECIMAL                              { ACT(parser->reduceLiteral($$, TOK_CONST_DECIMAL, $1)); }
    | CONST_STR                                  { ACT(parser->reduceLiteral($$, TOK_CONST_STR, $1)); }
    | CONST_NULL                                 { ACT(parser->reduceKeyword($$, $1.value.kind, $1)); }
    | XTRUE                                      { ACT(parser->reduceKeyword($$, $1.value.kind, $1)); }
    | XFALSE                                     { ACT(parser->reduceKeyword($$, $1.value.kind, $1)); }
    | XDD_INSERT                                 { ACT(parser->reduceKeyword($$, $1.value.kind, $1)); }
    | XDD_UPDATE                                 { ACT(parser->reduceKeyword($$, $1.value.kind, $1)); }
    | XDD_DELETE                                 { ACT(parser->reduceKeyword($$, $1.value.kind, $1)); }
    | XDD_REJECT                                 { ACT(parser->reduceKeyword($$, $1.value.kind, $1)); }
    | XWT_ABORTED                                { ACT(parser->reduceKeyword($$, $1.value.kind, $1)); }
    | XWT_DISABLED                               { ACT(parser->reduceKeyword($$, $1.value.kind, $1)); }
    | XWT_FAILED                                 { ACT(parser->reduceKeyword($$, $1.value.kind, $1)); }
    | XWT_NOTSTARTED                             { ACT(parser->reduceKeyword($$, $1.value.kind, $1)); }
    | XWT_STARTED                                { ACT(parser->reduceKeyword($$, $1.value.kind, $1)); }
    | XWT_STOPPED                                { ACT(parser->reduceKeyword($$, $1.value.kind, $1)); }
    | XWT_SUCCEEDED                              { ACT(parser->reduceKeyword($$, $1.value.kind, $1)); }
    | XTC_COMMIT_AFTER                           { ACT(parser->reduceKeyword($$, $1.value.kind, $1)); }
    | XTC_COMMIT_BEFORE                          { ACT(parser->reduceKeyword($$, $1.value.kind, $1)); }
    | XTC_CONTINUE_TRANSACTION                   { ACT(parser->reduceKeyword($$, $1.value.kind, $1)); }
    | XTC_ROLLBACK_AFTER                         { ACT(parser->reduceKeyword($$, $1.value.kind, $1)); }
    | XTC_ROLLBACK_BEFORE                        { ACT(parser->reduceKeyword($$, $1.value.kind, $1)); }
    ;

/* ===== References ===== */

/* The dotted name inside ":FLD.{...}". */
opd_ref_dot
    : opd_ref_name
    | opd_ref_name OPT_DOT opd_ref_dot           { parser->reducePrependName($$, $1, $3); }
    ;

opd_ref
    : opd_ref_source                             { ACT(parser->reduceRef($$, eXNI_PORTVAR, $1)); }
    | opd_ref_mapvar                             { ACT(parser->reduceRef($$, eXNI_MAPVAR, $1)); }
    | opd_ref_wfvar                              { ACT(parser->reduceRef($$, eXNI_WFVAR, $1)); }
    ;

opd_subscript_params
    : OPT_MULTIPLY                               { ACT(parser->reduceKeyword($$, XParser::getStarKey(), $1)); }
    | expr                                       { ACT(parser->reduceOp($$, eXNI_LIST, 1, $1, $1)); }
    | expr COMMA expr                            { ACT(parser->reduceOp($$, eXNI_LIST, 2, $1, $3)); }
    | expr COMMA expr COMMA expr                 { ACT(parser->reduceOp($$, eXNI_LIST, 3, $1, $5)); }
    ;

opt_dot_or_dotdot
    : OPT_DOT
    | OPT_DOTDOT
    | OPT_DOTSTARDOT
    ;

opd_ref_source
    : opd_ref_name
    | COLON opd_ref_name                         { XParser::stc_spanValue($$, $2, $1, $2); }
    | XSD OPT_DOT opd_ref_name                   { parser->reduceQualifiedName($$, $1, $3); }
    ;

opd_ref_target
    : XTD OPT_DOT opd_ref_name                   { parser->reduceQualifiedName($$, $1, $3); }
    ;

opd_ref_name
    : NAME                                       { parser->reduceName($$, $1); }
    ;

opd_ref_mapvar
    : MAPVAR                                     { parser->reduceName($$, $1); }
    ;

opd_ref_wfvar
    : WFVAR_PRE_DEFINED                          { parser->reduceName($$, $1); }
    | WFVAR_USER_DEFINED                         { parser->reduceName($$, $1); }
    ;

%%

/* ===== Driver hooks ===== */

/* xgrammaruntraced.cpp compiles this driver a second time; the hook is
   defined once, here. */
#ifndef XGRAMMAR_UNTRACED
void yyerror(XParser* parser, const char* text) { parser->reportDriverError(text); }
#endif
